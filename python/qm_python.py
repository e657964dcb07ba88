"""Python classes over the flat functions of _qm_python.

`import qm_python as qm` gives every name of _qm_python (the library calls,
the record and array functions, the constants and `cvar`) and, beside them,
one class per record family and per array class, under the family's name
and its aliases:

    setup = qm.QmCaptureSetup(TransferSize=1024, DataFormat=qm.QmOffsetBinaryFormat)
    qm.QmBoardWriteCaptureStart(0, 0, setup)
    words = qm.Qm_Word_Array(1024)
    status, count = qm.QmBoardReadCaptureData(0, 0, words.cast(), 1024)
    samples = words.read(count)                  # one bulk copy

Every record the library hands back (versions, DUT descriptions, capture
configurations, event records) arrives as an instance of its class. An
instance holds its pointer proxy in `this`; records and arrays made here,
and record copies handed back by the library, are freed when the instance
goes (the class names `delete_<Record>` as its `__swig_destroy__`).

Whatever points into memory that an instance holds keeps that instance
alive: the views of nested records, the pointers of word-array and pointer
fields, `cast()` pointers and `frompointer()` views. A pointer field also
keeps alive what was assigned to it. Assigning an attribute that is not a
field raises AttributeError naming the nearest field.

The classes are made at import from qm_layouts, which the build writes
beside _qm_python from the same tables as the module's record and array
families (fields in layout order with kind, declared type, offset and
width; aliases; array element types), and the import checks that the
module's function table has exactly the functions they describe.
"""
import array
import ctypes
import difflib
import sys
import textwrap
import weakref

import _qm_python as _qm

try:
    import qm_layouts as _layouts
except ImportError:
    raise ImportError('qm_python needs qm_layouts.py, the record layouts the build writes '
                      'beside _qm_python (build/lib)')

# The runtime-data module holds the class records through which owned
# instances are freed. Held here, it is torn down at exit only after this
# module, so instances that scripts keep until exit are still freed then
# (instead of printing leak notices).
_runtime = sys.modules.get('swig_runtime_data4')

# Every name of the module, including `cvar` and `_qm_callback_imp`.
for _name in dir(_qm):
    if not _name.startswith('__'):
        globals()[_name] = getattr(_qm, _name)
del _name

# Names under which the library also declares a record.
ALIASES = dict((name, aliases) for name, size, aliases, fields in _layouts.RECORDS if aliases)

# ---- the layouts against the module's function table ----

_ARRAY_FUNCTIONS = ('new_%s', 'delete_%s', '%s___getitem__', '%s___setitem__', '%s_cast',
                    '%s_frompointer', '%s_swigregister')
_RECORD_FUNCTIONS = ('new_%s', 'delete_%s', '%s_swigregister')
# The callback class is no record family; its functions are taken by hand.
_CALLBACK_FUNCTIONS = frozenset(('new_Qm_Callback', 'delete_Qm_Callback', 'Qm_Callback_run',
                                 'Qm_Callback_swigregister', 'disown_Qm_Callback'))


def _described_functions():
    """The names of the record and array functions the layouts describe."""
    names = set()
    for name, size, aliases, fields in _layouts.RECORDS:
        names.update(pattern % name for pattern in _RECORD_FUNCTIONS)
        for field in fields:
            names.update(('%s_%s_get' % (name, field[0]), '%s_%s_set' % (name, field[0])))
    for row in _layouts.ARRAYS:
        names.update(pattern % row[0] for pattern in _ARRAY_FUNCTIONS)
    return names


def _looks_like_family(name):
    return (name.startswith(('new_', 'delete_')) or
            name.endswith(('_get', '_set', '_swigregister', '___getitem__', '___setitem__',
                           '_cast', '_frompointer')))


def _listed(names):
    names = sorted(names)
    shown = ', '.join(names[:6])
    return shown + (' and %d more' % (len(names) - 6) if len(names) > 6 else '')


def _check_layouts():
    """ImportError unless the module has exactly the record and array
    functions the layouts describe (a layouts file from another build)."""
    described = _described_functions()
    functions = set(n for n in dir(_qm) if callable(getattr(_qm, n)))
    missing = described - functions
    undescribed = (set(n for n in functions if _looks_like_family(n)) - described -
                   _CALLBACK_FUNCTIONS)
    if missing or undescribed:
        problems = []
        if missing:
            problems.append('_qm_python has no %s' % _listed(missing))
        if undescribed:
            problems.append('the layouts do not describe %s' % _listed(undescribed))
        raise ImportError('qm_layouts (%s) does not match the function table of _qm_python '
                          '(%s): %s; rebuild both from the same tables'
                          % (_layouts.__file__, _qm.__file__, '; '.join(problems)))


_check_layouts()

# ---- the rules every class shares ----

# The array.array typecode of QmWord (unsigned, 4 bytes).
WORD_TYPECODE = [code for code in 'IL' if array.array(code).itemsize == 4][0]
_WORD_MAX = 0xFFFFFFFF


def _nearest(name, names):
    """"; did you mean ...?" for the name in `names` nearest to `name`, or ''."""
    same_case = [n for n in names if n.lower() == name.lower()]
    close = same_case or difflib.get_close_matches(name, list(names), 1)
    return '; did you mean %r?' % close[0] if close else ''


def _integer(value, what):
    """An int or long argument; TypeError for anything else (floats too)."""
    if isinstance(value, (int, long)):
        return value
    raise TypeError('%s must be an integer, not %s' % (what, type(value).__name__))


def _bytes_like(data):
    """The bytes of a bytes-like object (str, bytearray, buffer, memoryview,
    array.array) as a str. TypeError for anything else, unicode included:
    its bytes depend on how the interpreter stores text."""
    if isinstance(data, str):
        return data
    if isinstance(data, (bytearray, buffer)):
        return str(data)
    if isinstance(data, memoryview):
        return data.tobytes()
    if isinstance(data, array.array):
        return data.tostring()
    raise TypeError('expected bytes (str, bytearray, buffer, memoryview or array.array), not %s'
                    % type(data).__name__)


def _stream_bytes(data):
    """The byte rule of streams: bytes-like data, or a list or tuple of ints
    in 0..255, as a str. TypeError for anything else and for items that are
    not ints, OverflowError for ints outside 0..255."""
    if not isinstance(data, (list, tuple)):
        return _bytes_like(data)
    for i, value in enumerate(data):
        if not isinstance(value, (int, long)):
            raise TypeError('byte %d of the data is %s, not an int in 0..255'
                            % (i, type(value).__name__))
        if not 0 <= value <= 255:
            raise OverflowError('byte %d of the data is %d, outside 0..255' % (i, value))
    return str(bytearray(data))


def _words_of(values):
    """The word rule: a sequence of ints in 0..0xFFFFFFFF as an array.array of
    words. TypeError for text and raw bytes (fromstring() takes those) and
    for items that are not ints, OverflowError for ints out of range."""
    if isinstance(values, array.array) and values.typecode == WORD_TYPECODE:
        return values
    if isinstance(values, (basestring, bytearray, buffer, memoryview)):
        raise TypeError('words are a sequence of ints, not %s (fromstring() takes raw bytes)'
                        % type(values).__name__)
    if not isinstance(values, (list, tuple, array.array)):
        try:
            values = list(values)
        except TypeError:
            raise TypeError('words are a sequence of ints, not %s' % type(values).__name__)
    try:
        return array.array(WORD_TYPECODE, values)
    except (TypeError, OverflowError):
        pass
    for i, value in enumerate(values):
        if not isinstance(value, (int, long)):
            raise TypeError('word %d of the values is %s, not an int' % (i, type(value).__name__))
        if not 0 <= value <= _WORD_MAX:
            raise OverflowError('word %d of the values is %d, outside 0..0xFFFFFFFF' % (i, value))
    raise TypeError('the values are not a sequence of words')


def _base_makes_nothing(*args):
    raise TypeError('a base class makes nothing: use one of its classes (qm_python.RECORDS, '
                    'qm_python.ARRAYS)')


class _Proxied(object):
    """What every class here shares: the proxy in `this` and its ownership."""
    __slots__ = ()
    _new = staticmethod(_base_makes_nothing)

    def _get_own(self):
        return self.this.own()

    def _set_own(self, value):
        if value and getattr(self, '_owner', None) is not None:
            raise ValueError('a view into memory that another object holds cannot own it')
        self.this.own(value)

    thisown = property(_get_own, _set_own, None,
                       "True while this instance owns its block (it is then freed with the "
                       "instance); assign False to hand it over, True to take it back. A view "
                       "or pointer into another object's memory never owns it.")

    def _short(self):
        return '<%s at 0x%x>' % (type(self).__name__, int(self.this))

    def _take(self, proxy):
        """Holds a constructor's proxy (None when memory ran out)."""
        if proxy is None:
            raise MemoryError('no memory for a %s' % type(self).__name__)
        self.__dict__['this'] = proxy


class Pointer(_Proxied):
    """An element pointer into memory that another object holds (the pointer
    of a word-array or pointer field, or of an array's cast()): accepted
    wherever the module takes that pointer type, and keeping that object
    alive while it lives. len() is the number of elements known to be
    there, when it is known."""
    __slots__ = ('this', '_owner', '_length', '_type')

    def __init__(self, proxy, owner, type_name, length=None):
        self.this, self._owner, self._type, self._length = proxy, owner, type_name, length

    def __int__(self):
        return int(self.this)

    __long__ = __int__

    def __len__(self):
        if self._length is None:
            raise TypeError('the number of elements at this %s is unknown' % self._type)
        return self._length

    def __eq__(self, other):
        return isinstance(other, Pointer) and self.this == other.this

    def __ne__(self, other):
        return not self == other

    def __hash__(self):
        return hash(self.this)

    def _short(self):
        return '<%s at 0x%x>' % (self._type, int(self.this))

    def __repr__(self):
        return '<Pointer %s at 0x%x%s>' % (self._type, int(self.this), '' if self._length is None
                                           else ', %d elements' % self._length)


def _held(view, owner, type_name, length=None):
    """The one rule for what the layer hands out: `view`, a proxy or instance
    pointing into memory that `owner` holds, keeps `owner` alive. Instances
    (record and array views) hold it; a bare element pointer comes back as a
    Pointer that holds it. `length` is the number of elements known to be
    there, for frompointer() views. None stays None."""
    if view is None:
        return None
    if isinstance(view, _Proxied):
        view.__dict__['_owner'] = owner
        if length is not None:
            view.__dict__['_length'] = length
        return view
    return Pointer(view, owner, type_name, length)


# Names the layer itself sets on instances, by hand or through the runtime.
_LAYER_NAMES = frozenset(('this',))


class _LayerType(type):
    """The type of the record and array classes. A class defined outside the
    layer (a caller's subclass) assigns attributes as Python classes do."""

    def __init__(cls, name, bases, namespace):
        super(_LayerType, cls).__init__(name, bases, namespace)
        if namespace.get('__module__') != __name__:
            cls.__setattr__ = object.__setattr__


def _guard_attributes(cls, setters, refusal):
    """Gives `cls` the one assignment rule: names in `setters` (its fields and
    thisown) go to their setters, `this` is stored, anything else raises
    AttributeError (`refusal` % (class, name)) naming the nearest name."""
    names = sorted(setters)

    def __setattr__(self, name, value):
        """Assigns a field (or thisown); any other name raises AttributeError."""
        try:
            setter = setters[name]
        except KeyError:
            if name not in _LAYER_NAMES:
                raise AttributeError(refusal % (cls.__name__, name) + _nearest(name, names))
            object.__setattr__(self, name, value)
        else:
            setter(self, value)

    cls.__setattr__ = __setattr__


# ---- records ----

class Record(_Proxied):
    """Base of the record classes. `Record(**fields)` makes an owned,
    zero-filled record and assigns the given fields."""
    __metaclass__ = _LayerType
    _fields = ()

    def __init__(self, **fields):
        for name in fields:
            if name not in self._fields:
                raise TypeError('%s has no field %r%s' % (type(self).__name__, name,
                                                          _nearest(name, self._fields)))
        self._take(self._new())
        for name, value in fields.items():
            setattr(self, name, value)

    def __repr__(self):
        parts = []
        for name in self._fields:
            value = getattr(self, name)
            # Nested records and pointers show their place only: a union's
            # other members may hold anything, pointers that lead nowhere too.
            parts.append('%s=%s' % (name, value._short() if isinstance(value, _Proxied)
                                    else repr(value)))
        return '<%s at 0x%x: %s>' % (type(self).__name__, int(self.this), ', '.join(parts))


# How field docstrings name each kind of the layouts.
_KINDS = {'word': 'Word field', 'enum': 'Enumeration field', 'double': 'Double field',
          'string': 'String field (the record owns its copy)',
          'words': 'Word-array field (inline)', 'pointer': 'Pointer field',
          'record': 'Nested record field (by value)'}


def _field_property(record, field, kind, declared, offset, width):
    """The property of one field: the family's accessors themselves where
    the value is plain (no Python frame runs per access), views and
    pointers that keep alive what they point into otherwise."""
    get = getattr(_qm, '%s_%s_get' % (record, field))
    set_ = getattr(_qm, '%s_%s_set' % (record, field))
    doc = '%s of type %s at offset %d, %d bytes.' % (_KINDS[kind], declared, offset, width)
    if kind in ('word', 'enum', 'double', 'string'):
        return property(get, set_, None, doc)
    if kind == 'record':
        doc += ' A view into the record.'
        inner = declared.rstrip(' *')
        return property(lambda self: _held(get(self), self, inner), set_, None, doc)
    if kind == 'words':
        count = width // 4

        def fget(self):
            return _held(get(self), self, 'QmWord *', count)

        def fset(self, value):
            known = getattr(value, '_length', None) if isinstance(value, Pointer) else None
            if known is not None and known < count:
                raise ValueError('%s.%s takes %d words; the pointer has %d'
                                 % (record, field, count, known))
            set_(self, value)

        doc += ' Reads as a pointer to the words; takes a pointer to %d words.' % count
        return property(fget, fset, None, doc)

    def fget(self):
        target = self.__dict__.get('_targets', {}).get(field)
        return _held(get(self), (self, target), declared)

    def fset(self, value):
        set_(self, value)
        targets = self.__dict__.setdefault('_targets', {})
        targets[field] = value  # what it points into lives as long as the record holds it

    doc += ' The record keeps what is assigned alive.'
    return property(fget, fset, None, doc)


def _record_doc(name, size, aliases, fields):
    """The class docstring: help() sorts properties by name, so the layout
    order is this table's."""
    lines = ['%s record%s, %d bytes.' % (name, ''.join(' (alias %s)' % a for a in aliases), size),
             '', textwrap.fill('%s(**fields) makes an owned, zero-filled record and assigns '
                               'the given fields.' % name, 76), '', 'Fields in layout order:', '',
             '    %6s %5s  %-30s %-8s %s' % ('offset', 'bytes', 'field', 'kind', 'type')]
    for field, kind, declared, offset, width in fields:
        lines.append('    %6d %5d  %-30s %-8s %s' % (offset, width, field, kind, declared))
    return '\n'.join(lines)


def _record_class(name, size, aliases, fields):
    namespace = {
        '__doc__': _record_doc(name, size, aliases, fields),
        '__module__': __name__,
        '_fields': tuple(f[0] for f in fields),
        '_new': staticmethod(getattr(_qm, 'new_' + name)),
        '__swig_destroy__': getattr(_qm, 'delete_' + name),
    }
    for row in fields:
        namespace[row[0]] = _field_property(name, *row)
    cls = _LayerType(name, (Record,), namespace)
    setters = dict((f[0], namespace[f[0]].fset) for f in fields)
    setters['thisown'] = _Proxied.__dict__['_set_own']
    _guard_attributes(cls, setters, '%s has no field %r')
    getattr(_qm, name + '_swigregister')(cls)
    return cls


# ---- arrays ----

def _address(array):
    return int(array.this)


class Array(_Proxied):
    """Base of the array classes: a run of elements. `A(n)` makes an owned
    array of n zero-filled elements, whose length is known; an array made
    by `A.frompointer(p)` is a view whose length is known when given or
    when the pointer knows it."""
    __metaclass__ = _LayerType
    _element_size = 0
    _element_type = ''

    def __init__(self, count):
        self._take(self._new(count))
        self.__dict__['_length'] = int(count)

    @classmethod
    def frompointer(cls, pointer, length=None):
        """A view of the elements at `pointer` (an element pointer such as
        `cast()` gives), keeping alive what the pointer keeps alive. `length`
        (default: the pointer's own, when known) makes len(), iteration,
        negative indices and bulk reads work; it cannot exceed the number of
        elements the pointer is known to have."""
        known = getattr(pointer, '_length', None)
        if length is not None:
            length = _integer(length, 'length')
            if length < 0:
                raise ValueError('a view cannot have %d elements' % length)
            if known is not None and length > known:
                raise ValueError('a view of %d elements over a pointer to %d' % (length, known))
        view = cls._frompointer(pointer)
        return _held(view, pointer, cls.__name__, known if length is None else length)

    def cast(self):
        """The element pointer to this array, as library calls take it. It
        keeps the array's block alive."""
        return _held(self._cast(self), self, self._element_type + ' *',
                     self.__dict__.get('_length'))

    def __len__(self):
        try:
            return self.__dict__['_length']
        except KeyError:
            raise TypeError('the length of this %s view is unknown' % type(self).__name__)

    def _position(self, index):
        """`index` as an element number: negative ones count from the end,
        and any beyond a known length raise IndexError, as for a list."""
        if not isinstance(index, (int, long)):
            raise TypeError('%s indices must be integers or slices, not %s'
                            % (type(self).__name__, type(index).__name__))
        length = self.__dict__.get('_length')
        if length is None:
            if not 0 <= index <= _WORD_MAX:
                raise IndexError('index %d out of range for a %s view of unknown length'
                                 % (index, type(self).__name__))
            return index
        position = index + length if index < 0 else index
        if not 0 <= position < length:
            raise IndexError('index %d out of range for a %s of %d elements'
                             % (index, type(self).__name__, length))
        return position

    def __getitem__(self, index):
        if isinstance(index, slice):
            return [self._getitem(self, i) for i in xrange(*index.indices(len(self)))]
        return self._getitem(self, self._position(index))

    def __setitem__(self, index, value):
        if not isinstance(index, slice):
            self._setitem(self, self._position(index), value)
            return
        positions = xrange(*index.indices(len(self)))
        items = self._slice_items(value)
        if len(items) != len(positions):
            raise ValueError('a %s has a fixed length: %d items cannot replace a slice of %d'
                             % (type(self).__name__, len(items), len(positions)))
        self._store(positions, items)

    def _slice_items(self, values):
        """The values of a slice assignment, checked before anything is written."""
        items = list(values) if isinstance(values, (list, tuple)) else None
        if items is None or not all(isinstance(i, self._element_class) for i in items):
            raise TypeError('a slice of a %s takes a list or tuple of %s records'
                            % (type(self).__name__, self._element_class.__name__))
        return items

    def _store(self, positions, items):
        for position, item in zip(positions, items):
            self._setitem(self, position, item)

    def __iter__(self):
        for i in xrange(len(self)):
            yield self._getitem(self, i)

    def _span(self, start, count):
        """(address, count) of elements start..start+count, checked against
        the length when it is known."""
        start = _integer(start, 'start')
        length = self.__dict__.get('_length')
        if count is None:
            if length is None:
                raise TypeError('give a count: the length of this %s view is unknown'
                                % type(self).__name__)
            count = length - start
        count = _integer(count, 'count')
        if start < 0 or count < 0 or (length is not None and start + count > length):
            raise IndexError('elements %d..%d outside %s of %s elements'
                             % (start, start + count, type(self).__name__,
                                'unknown' if length is None else length))
        if (start + count) * self._element_size > sys.maxsize:
            raise MemoryError('%d elements are too many for one copy' % count)
        return _address(self) + start * self._element_size, count

    def tostring(self, count=None, start=0):
        """The bytes of `count` elements from `start` (default: to the end),
        in one copy."""
        address, count = self._span(start, count)
        return ctypes.string_at(address, count * self._element_size)

    def fromstring(self, data, start=0):
        """Overwrites elements from `start` with the bytes of `data`, a
        bytes-like object (str, bytearray, buffer, memoryview, array.array;
        not unicode) of a whole number of elements, in one copy."""
        data = _bytes_like(data)
        count, rest = divmod(len(data), self._element_size)
        if rest:
            raise ValueError('%d bytes are not a whole number of %d-byte elements'
                             % (len(data), self._element_size))
        address, count = self._span(start, count)
        ctypes.memmove(address, data, len(data))

    def __repr__(self):
        length = self.__dict__.get('_length')
        return '<%s of %s elements at 0x%x>' % (
            type(self).__name__, 'unknown' if length is None else length, int(self.this))


class _WordBulk(object):
    """Bulk transfers of QmWord elements."""

    def read(self, count=None, start=0):
        """`count` words from `start` (default: to the end) as an
        array.array of unsigned 32-bit words, in one copy."""
        words = array.array(WORD_TYPECODE)
        words.fromstring(self.tostring(count, start))
        return words

    def write(self, values, start=0):
        """Stores a sequence of words from `start`: ints in 0..0xFFFFFFFF (a
        list, a tuple, an array.array, ...). Text and raw bytes are refused
        with TypeError (fromstring() takes bytes); an item that is not an int
        raises TypeError, one out of range OverflowError; nothing is written
        then."""
        self.fromstring(_words_of(values).tostring(), start)

    def _slice_items(self, values):
        return _words_of(values)

    def _store(self, positions, items):
        if len(positions) > 1 and positions[1] - positions[0] != 1:
            Array._store(self, positions, items)
        elif positions:
            self.fromstring(items.tostring(), positions[0])


class _ByteBulk(object):
    """Bulk transfers of QmStreamElement bytes."""

    @classmethod
    def of(cls, data):
        """A new stream holding the bytes of `data`, in one copy: bytes-like data
        (str, bytearray, buffer, memoryview, array.array) or a list or tuple
        of ints in 0..255. Anything else (unicode included) raises TypeError,
        a list item out of range OverflowError."""
        data = _stream_bytes(data)
        stream = cls(len(data))
        stream.fromstring(data)
        return stream

    def read(self, count=None, start=0):
        """`count` bytes from `start` (default: to the end) as a str."""
        return self.tostring(count, start)

    def write(self, data, start=0):
        """Stores the bytes of `data` from `start`: bytes-like data (str,
        bytearray, buffer, memoryview, array.array) or a list or tuple of
        ints in 0..255. Anything else (unicode included) raises TypeError, a
        list item out of range OverflowError; nothing is written then."""
        self.fromstring(_stream_bytes(data), start)

    def _slice_items(self, values):
        return _stream_bytes(values)

    def _store(self, positions, items):
        if len(positions) > 1 and positions[1] - positions[0] != 1:
            Array._store(self, positions, bytearray(items))
        elif positions:
            self.fromstring(items, positions[0])


_BULK = {'record': (), 'word': (_WordBulk,), 'byte': (_ByteBulk,)}
_ITEMS = {'record': 'records, copied in and out by value',
          'word': 'ints in 0..0xFFFFFFFF; bulk read() and write()',
          'byte': 'ints in 0..255; bulk read() and write(), Qm_Stream.of(data)'}


def _array_doc(name, element, element_size, item):
    return '\n\n'.join(textwrap.fill(paragraph, 76) for paragraph in (
        '%s: an array of %s elements, %d byte%s each (items: %s).' % (
            name, element, element_size, '' if element_size == 1 else 's', _ITEMS[item]),
        '%s(n) makes an owned, zero-filled array of n elements; frompointer() views the '
        'elements at a pointer, cast() gives the pointer library calls take. Indices, '
        'negative ones and slices work as for a list where the length is known (always for '
        'arrays made here); a slice assignment keeps the length.' % name))


def _array_class(name, element, element_size, item):
    namespace = {
        '__doc__': _array_doc(name, element, element_size, item),
        '__module__': __name__,
        '_element_size': element_size,
        '_element_type': element,
        '_new': staticmethod(getattr(_qm, 'new_' + name)),
        '_getitem': staticmethod(getattr(_qm, name + '___getitem__')),
        '_setitem': staticmethod(getattr(_qm, name + '___setitem__')),
        '_cast': staticmethod(getattr(_qm, name + '_cast')),
        '_frompointer': staticmethod(getattr(_qm, name + '_frompointer')),
        '__swig_destroy__': getattr(_qm, 'delete_' + name),
    }
    cls = _LayerType(name, _BULK[item] + (Array,), namespace)
    _guard_attributes(cls, {'thisown': _Proxied.__dict__['_set_own']},
                      '%s has no attribute %r to set')
    getattr(_qm, name + '_swigregister')(cls)
    return cls


# ---- the callback class ----

class Qm_Callback(_Proxied):
    """Receives the library's events: subclass it and override run(event),
    which gets a Qm_Dll_Event_Param on the library's threads and returns a
    QmWord. `Qm_Callback()` itself is the plain native object (its run
    answers 1); a subclass instance is the self of a director. Keep the
    instance referenced while it is registered, or call __disown__()."""
    __swig_destroy__ = _qm.delete_Qm_Callback

    def __init__(self):
        self._take(_qm.new_Qm_Callback(None if type(self) is Qm_Callback else self))

    def run(self, event):
        """The base behaviour: answers 1 without looking at the event."""
        return _qm.Qm_Callback_run(self, event)

    def __disown__(self):
        """Hands ownership to the native side: the director keeps this
        instance alive until delete_Qm_Callback. Returns a weak proxy."""
        self.this.disown()
        _qm.disown_Qm_Callback(self)
        return weakref.proxy(self)


_qm.Qm_Callback_swigregister(Qm_Callback)


def _build():
    made = {}
    for name, size, aliases, fields in _layouts.RECORDS:
        made[name] = _record_class(name, size, aliases, fields)
        for alias in aliases:
            made[alias] = made[name]
    for name, element, element_size, item in _layouts.ARRAYS:
        made[name] = _array_class(name, element, element_size, item)
        made[name]._element_class = made.get(element)
    return made


_classes = _build()
globals().update(_classes)
RECORDS = tuple(sorted(n for n, c in _classes.items() if issubclass(c, Record) and n == c.__name__))
ARRAYS = tuple(sorted(n for n, c in _classes.items() if issubclass(c, Array)))
