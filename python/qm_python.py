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

The classes are made at import from the module's own function table: a
record family is the set of functions `new_<Record>`, `<Record>_<field>_get`
/ `_set`, ...; its fields are properties in the order of the table, which is
the order of the record's layout.
"""
import array
import ctypes
import sys
import weakref

import _qm_python as _qm

# The runtime-data module holds the class records through which owned
# instances are freed. Held here, it is torn down at exit only after this
# module, so instances that scripts keep until exit are still freed then
# (instead of printing leak notices).
_runtime = sys.modules.get('swig_runtime_data4')

# Every name of the module, including `cvar` and `_qm_callback_imp`.
for _name in dir(_qm):
    if not _name.startswith('__'):
        globals()[_name] = getattr(_qm, _name)

# Names under which the library also declares a record.
ALIASES = {
    'QmVersionNumber': ('Qm_Version_Number',),
    'QmChannelData': ('Qm_Capture_Configuration',),
    'QmDUTInfo': ('Qm_Dut_Info',),
    'QmCaptureSetup': ('Qm_Capture_Request',),
}


def _table_row(function):
    """Address of a built-in function's row in the module's method table.

    A built-in function object keeps a pointer to its PyMethodDef right
    after the object header; the rows lie in table order."""
    return ctypes.c_void_p.from_address(id(function) + object.__basicsize__).value


def _families(names):
    """(records, arrays, fields): the record and array families the
    function names describe, and each record's fields in table order."""
    names = set(names)
    made = [n[4:] for n in names if n.startswith('new_') and n[4:] + '_swigregister' in names]
    arrays = sorted(n for n in made if n + '_cast' in names)
    records = sorted(n for n in made if n not in arrays and 'disown_' + n not in names)
    fields = dict((r, []) for r in records)
    by_length = sorted(records, key=len, reverse=True)  # the longest family name wins
    for name in names:
        if not name.endswith('_get') or name[:-4] + '_set' not in names:
            continue
        base = name[:-4]
        for record in by_length:
            if base.startswith(record + '_'):
                fields[record].append(base[len(record) + 1:])
                break
    for record in records:
        fields[record].sort(key=lambda f: _table_row(getattr(_qm, '%s_%s_get' % (record, f))))
    return records, arrays, fields


class _Proxied(object):
    """What every class here shares: the proxy in `this` and its ownership."""

    def _get_own(self):
        return self.this.own()

    def _set_own(self, value):
        self.this.own(value)

    thisown = property(_get_own, _set_own, None,
                       "True while this instance owns its block (it is then freed with the "
                       "instance); assign False to hand it over, True to take it back.")

    def _short(self):
        return '<%s at 0x%x>' % (type(self).__name__, int(self.this))

    def _take(self, proxy):
        """Holds a constructor's proxy (None when memory ran out)."""
        if proxy is None:
            raise MemoryError('no memory for a %s' % type(self).__name__)
        self.this = proxy


class Record(_Proxied):
    """Base of the record classes. `Record(**fields)` makes an owned,
    zero-filled record and assigns the given fields."""
    _fields = ()

    def __init__(self, **fields):
        self._take(self._new())
        for name, value in fields.items():
            if name not in self._fields:
                raise TypeError('%s has no field %r' % (type(self).__name__, name))
            setattr(self, name, value)

    def __repr__(self):
        parts = []
        for name in self._fields:
            value = getattr(self, name)
            # Nested records show their place only: a union's other members
            # may hold anything, including pointers that lead nowhere.
            parts.append('%s=%s' % (name, value._short() if isinstance(value, _Proxied)
                                    else repr(value)))
        return '<%s at 0x%x: %s>' % (type(self).__name__, int(self.this), ', '.join(parts))


def _view_property(get, set_, doc):
    """A nested-record field: the view it returns keeps its record alive."""
    def fget(self):
        view = get(self)
        view._owner = self
        return view
    return property(fget, set_, None, doc)


def _record_class(name, fields):
    namespace = {
        '__doc__': '%s record%s. Fields: %s.' % (
            name, ''.join(' (alias %s)' % a for a in ALIASES.get(name, ())), ', '.join(fields)),
        '__module__': __name__,
        '_fields': tuple(fields),
        '_new': staticmethod(getattr(_qm, 'new_' + name)),
        '__swig_destroy__': getattr(_qm, 'delete_' + name),
    }
    for field in fields:
        # The accessors themselves: fget(instance) and fset(instance, value)
        # are exactly their calls, so no Python frame runs per access.
        namespace[field] = property(getattr(_qm, '%s_%s_get' % (name, field)),
                                    getattr(_qm, '%s_%s_set' % (name, field)), None,
                                    'Field %s of %s.' % (field, name))
    cls = type(name, (Record,), namespace)
    getattr(_qm, name + '_swigregister')(cls)
    return cls


def _mark_views(cls):
    """Turns the nested-record fields of `cls` into views that keep the
    record alive: a getter that hands back a registered record on a fresh,
    zero-filled record is one (pointer fields read None there)."""
    probe = cls._new()
    try:
        for field in cls._fields:
            get = getattr(_qm, '%s_%s_get' % (cls.__name__, field))
            if isinstance(get(probe), Record):
                setattr(cls, field, _view_property(
                    get, getattr(_qm, '%s_%s_set' % (cls.__name__, field)),
                    'Field %s of %s (a view into the record).' % (field, cls.__name__)))
    finally:
        getattr(_qm, 'delete_' + cls.__name__)(probe)


def _address(array):
    return int(array.this)


class Array(_Proxied):
    """Base of the array classes: a run of elements. `A(n)` makes an owned
    array of n zero-filled elements, whose length is known; an array made
    by `A.frompointer(p)` is a view whose length is only known when given."""
    _element_size = 0

    def __init__(self, count):
        self._take(self._new(count))
        self._length = count

    @classmethod
    def frompointer(cls, pointer, length=None):
        """A view of the elements at `pointer` (an element pointer such as
        `cast()` gives); `length` makes len(), iteration and bulk reads work."""
        view = cls._frompointer(pointer)
        if view is not None:
            view._pointer = pointer  # keeps alive what the pointer keeps alive
            if length is not None:
                view._length = length
        return view

    def cast(self):
        """The element pointer to this array, as library calls take it. The
        pointer keeps the array's block alive: its proxy links the array's
        own proxy as its next one."""
        pointer = self._cast(self)
        pointer.append(self.this)
        return pointer

    def __len__(self):
        try:
            return self._length
        except AttributeError:
            raise TypeError('the length of this %s view is unknown' % type(self).__name__)

    def _index(self, index):
        if index < 0 and '_length' in self.__dict__:
            index += self._length
        return index

    def __getitem__(self, index):
        if isinstance(index, slice):
            return [self._getitem(self, i) for i in xrange(*index.indices(len(self)))]
        return self._getitem(self, self._index(index))

    def __setitem__(self, index, value):
        self._setitem(self, self._index(index), value)

    def __iter__(self):
        for i in xrange(len(self)):
            yield self._getitem(self, i)

    def _span(self, start, count):
        """(address, count) of elements start..start+count, checked against
        the length when it is known."""
        length = self.__dict__.get('_length')
        if count is None:
            if length is None:
                raise TypeError('give a count: the length of this %s view is unknown'
                                % type(self).__name__)
            count = length - start
        if start < 0 or count < 0 or (length is not None and start + count > length):
            raise IndexError('elements %d..%d outside %s of %s elements'
                             % (start, start + count, type(self).__name__, length))
        return _address(self) + start * self._element_size, count

    def tostring(self, count=None, start=0):
        """The bytes of `count` elements from `start` (default: to the end),
        in one copy."""
        address, count = self._span(start, count)
        return ctypes.string_at(address, count * self._element_size)

    def fromstring(self, data, start=0):
        """Overwrites elements from `start` with the bytes of `data` (a
        whole number of elements), in one copy."""
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


# The array.array typecode of QmWord (unsigned, 4 bytes).
WORD_TYPECODE = [code for code in 'IL' if array.array(code).itemsize == 4][0]


class _WordBulk(object):
    """Bulk transfers of QmWord elements."""

    def read(self, count=None, start=0):
        """`count` words from `start` (default: to the end) as an
        array.array of unsigned 32-bit words, in one copy."""
        words = array.array(WORD_TYPECODE)
        words.fromstring(self.tostring(count, start))
        return words

    def write(self, values, start=0):
        """Stores a sequence of words (ints in 0..0xFFFFFFFF) from `start`."""
        if not (isinstance(values, array.array) and values.typecode == WORD_TYPECODE):
            values = array.array(WORD_TYPECODE, values)  # OverflowError, TypeError for bad items
        self.fromstring(values.tostring(), start)


class _ByteBulk(object):
    """Bulk transfers of QmStreamElement bytes."""

    def read(self, count=None, start=0):
        """`count` bytes from `start` (default: to the end) as a str."""
        return self.tostring(count, start)

    def write(self, data, start=0):
        """Stores the bytes of `data` (a str or bytearray) from `start`."""
        self.fromstring(bytes(data), start)


def _array_class(name, element_size, bulk):
    namespace = {
        '__doc__': '%s: an array class of %d-byte elements (indexing, len() for arrays made '
                   'here, cast(), frompointer()%s).' % (
                       name, element_size, ', bulk read() and write()' if bulk else ''),
        '__module__': __name__,
        '_element_size': element_size,
        '_new': staticmethod(getattr(_qm, 'new_' + name)),
        '_getitem': staticmethod(getattr(_qm, name + '___getitem__')),
        '_setitem': staticmethod(getattr(_qm, name + '___setitem__')),
        '_cast': staticmethod(getattr(_qm, name + '_cast')),
        '_frompointer': staticmethod(getattr(_qm, name + '_frompointer')),
        '__swig_destroy__': getattr(_qm, 'delete_' + name),
    }
    cls = type(name, bulk + (Array,), namespace)
    getattr(_qm, name + '_swigregister')(cls)
    return cls


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

_ELEMENT_SIZES = {'Qm_Capture_Configuration_Array': (104, ()),
                  'Qm_Word_Array': (4, (_WordBulk,)),
                  'Qm_Stream': (1, (_ByteBulk,))}


def _build():
    records, arrays, fields = _families(n for n in dir(_qm) if callable(getattr(_qm, n)))
    made = {}
    for name in records:
        made[name] = _record_class(name, fields[name])
    for name in records:
        _mark_views(made[name])
    for name in arrays:
        size, bulk = _ELEMENT_SIZES[name]
        made[name] = _array_class(name, size, bulk)
    for name, aliases in ALIASES.items():
        for alias in aliases:
            made[alias] = made[name]
    return made


_classes = _build()
globals().update(_classes)
RECORDS = tuple(sorted(n for n, c in _classes.items() if issubclass(c, Record) and n == c.__name__))
ARRAYS = tuple(sorted(n for n, c in _classes.items() if issubclass(c, Array)))
del _name
