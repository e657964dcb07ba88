"""Version numbers as small named tuples that print dotted."""
import collections


class Version(collections.namedtuple('Version', 'major minor release build')):
    """A four-part version number; str() gives '5.0.2.300'."""
    __slots__ = ()

    def __str__(self):
        return '%d.%d.%d.%d' % self

    @classmethod
    def of(cls, record):
        """The version held by a QmVersionNumber record (copied)."""
        return cls(record.Major, record.Minor, record.Release, record.Build)
