"""Argument checks of the bench API, made before anything is built or
called, with messages that name the argument as the API calls it."""
import numbers

WORD_MAX = 0xFFFFFFFF
INT_MIN, INT_MAX = -0x80000000, 0x7FFFFFFF  # the library's enumerations


def _kind(value):
    return type(value).__name__


def integer(value, name, low=0, high=WORD_MAX):
    """`value` as an int or long in low..high: TypeError for anything that is
    not an integer (bool and float included), ValueError outside the range."""
    if isinstance(value, bool) or not isinstance(value, (int, long)):
        raise TypeError('%s must be an integer, not %s' % (name, _kind(value)))
    if not low <= value <= high:
        raise ValueError('%s must be %d..%d, not %d' % (name, low, high, value))
    return value


def number(value, name):
    """`value` as a finite positive float: TypeError for anything that is
    not a real number, ValueError for zero, negative or non-finite ones."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError('%s must be a number, not %s' % (name, _kind(value)))
    value = float(value)
    if not 0 < value < float('inf'):
        raise ValueError('%s must be a positive finite number, not %r' % (name, value))
    return value


def text(value, name, optional=False):
    """`value` as a str (None too when `optional`): TypeError otherwise, also
    for unicode, which the library cannot take."""
    if value is None and optional:
        return value
    if not isinstance(value, str):
        raise TypeError('%s must be a str%s, not %s'
                        % (name, ' or None' if optional else '', _kind(value)))
    if '\0' in value:
        raise ValueError('%s must not contain NUL characters' % name)
    return value


def instance(value, cls, name):
    """`value` when it is a `cls`; TypeError otherwise."""
    if not isinstance(value, cls):
        raise TypeError('%s must be a %s, not %s' % (name, cls.__name__, _kind(value)))
    return value


def integers(values, name, low, high):
    """A list of the ints in the sequence `values`, each checked as integer()
    checks one ('%s[%d]' names it)."""
    if isinstance(values, (basestring, dict, set, frozenset)) or not hasattr(values, '__len__'):
        raise TypeError('%s must be a sequence of integers, not %s' % (name, _kind(values)))
    return [integer(v, '%s[%d]' % (name, i), low, high) for i, v in enumerate(values)]
