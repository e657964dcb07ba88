"""Version numbers as small named tuples that print dotted."""
import collections

import qm_python as qm


class Version(collections.namedtuple('Version', 'major minor release build')):
    """A four-part version number; str() gives '5.0.2.300'."""
    __slots__ = ()

    def __str__(self):
        return '%d.%d.%d.%d' % self

    @classmethod
    def of(cls, record):
        """The version held by a QmVersionNumber record (copied)."""
        if not isinstance(record, qm.QmVersionNumber):
            raise TypeError('Version.of takes a QmVersionNumber, not %s' % type(record).__name__)
        return cls(record.Major, record.Minor, record.Release, record.Build)
