"""Boards: discovery, opening and closing, FPGA images, memories, I2C
devices and registers."""
import collections

import qm_python as qm
from qmboard.dut import Dut
from qmboard.errors import check, last_error
from qmboard.versions import Version

# Register spaces by name, for read_register and write_register.
SPACES = {'memory': qm.QM_DEBUG_ACCESS_MEMORY_MAPPED,
          'spi': qm.QM_DEBUG_ACCESS_SPI,
          'fpga': qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER,
          'i2c': qm.QM_DEBUG_ACCESS_I2C,
          'cypress_sfr': qm.QM_DEBUG_ACCESS_CYPRESS_SFR,
          'private': qm.QM_DEBUG_ACCESS_PRIVATE}


class BoardList(collections.namedtuple('BoardList', 'names library_version')):
    """The attached boards' names and the library's version."""
    __slots__ = ()

    def __str__(self):
        return '%s (library %s)' % (', '.join(self.names) or 'no boards', self.library_version)


def boards():
    """The attached boards (BoardList: names, library_version)."""
    status, names, version = qm.QmBoardEnum()
    check(status, 'QmBoardEnum')
    return BoardList(names, Version.of(version))


def _stream(data):
    """The bytes of `data` in a Qm_Stream, by the class layer's byte rule."""
    return qm.Qm_Stream.of(data)


class Eeprom(object):
    """An EEPROM of a board, read and written by byte offset."""

    def __init__(self, board, name, read, write):
        self._board, self.name = board, name
        self._read, self._write = read, write

    def __repr__(self):
        return '<%s of board %d>' % (self.name, self._board.index)

    def read(self, offset, length):
        """`length` bytes from `offset`, as a str."""
        buffer = qm.Qm_Stream(length)
        check(self._read(self._board.index, offset, buffer.cast(), length),
              self._read.__name__, self._board.index)
        return buffer.read()

    def write(self, offset, data):
        """Writes the bytes of `data` at `offset`: bytes-like data (str,
        bytearray, buffer, memoryview, array.array) or a list or tuple of ints
        in 0..255; anything else raises TypeError before anything is written."""
        stream = _stream(data)
        check(self._write(self._board.index, offset, stream.cast(), len(stream)),
              self._write.__name__, self._board.index)


class I2cDevice(object):
    """A device on the board's I2C bus, by bus address."""

    def __init__(self, board, address):
        self._board, self.address = board, address

    def __repr__(self):
        return '<I2C device 0x%02x of board %d>' % (self.address, self._board.index)

    def read(self, register, length, flags=0):
        """`length` bytes from `register` on, as a str."""
        buffer = qm.Qm_Stream(length)
        check(qm.QmBoardReadI2CDEVICE(self._board.index, self.address, register, buffer.cast(),
                                      length, flags), 'QmBoardReadI2CDEVICE', self._board.index)
        return buffer.read()

    def write(self, register, data, flags=0, delay=0):
        """Writes the bytes of `data` from `register` on (bytes-like data or a
        list or tuple of ints in 0..255, as Eeprom.write takes)."""
        stream = _stream(data)
        check(qm.QmBoardWriteI2CDEVICE(self._board.index, self.address, register,
                                       stream.cast(), len(stream), flags, delay),
              'QmBoardWriteI2CDEVICE', self._board.index)


def _space(space):
    if space in SPACES:
        return SPACES[space]
    if isinstance(space, (int, long)):
        return space
    raise ValueError('unknown register space %r (one of %s)' % (space, ', '.join(sorted(SPACES))))


class Board(object):
    """An open board. Use it as a context manager: the board is closed when
    the block ends, also when it ends with an exception.

    version: the board's version (Version); cypress_eeprom, dut_eeprom:
    its EEPROMs (Eeprom)."""

    def __init__(self, index, name=None):
        (status, handle), version = qm.QmBoardOpen(index, name)
        check(status, 'QmBoardOpen', index)
        self.index = index
        self.handle = handle
        self.version = Version.of(version)
        self.closed = False
        self.cypress_eeprom = Eeprom(self, 'Cypress EEPROM', qm.QmBoardReadCypressEEPROM,
                                     qm.QmBoardWriteCypressEEPROM)
        self.dut_eeprom = Eeprom(self, 'DUT EEPROM', qm.QmBoardReadDUTEEPROM,
                                 qm.QmBoardWriteDUTEEPROM)

    def __repr__(self):
        return '<Board %d%s>' % (self.index, ' (closed)' if self.closed else '')

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        if kind is None:
            self.close()
        else:
            try:
                self.close()
            except Exception:
                pass  # the exception that ended the block is the one to see
        return False

    def close(self):
        """Closes the board (once; later calls do nothing)."""
        if not self.closed:
            self.closed = True
            self._check(qm.QmBoardClose(self.index), 'QmBoardClose')

    def _check(self, status, function):
        check(status, function, self.index)

    @property
    def duts(self):
        """Names of the DUTs attached to the board."""
        status, names = qm.QmBoardDUTEnum(self.index)
        self._check(status, 'QmBoardDUTEnum')
        return names

    def dut(self, index=0):
        """DUT `index` of the board (Dut)."""
        return Dut(self, index)

    def load_fpga(self, image, dut=0):
        """Loads FPGA image `image` for DUT `dut`; returns the image's Version."""
        status, version = qm.QmBoardLoadFPGA(self.index, dut, image)
        self._check(status, 'QmBoardLoadFPGA')
        return Version.of(version)

    def reset(self):
        """Resets the board."""
        self._check(qm.QmBoardReset(self.index), 'QmBoardReset')

    def firmware_active(self):
        """True when the board's firmware runs; False when the library says
        it does not (the non-fatal status); QmError for other failures."""
        status = qm.QmBoardCheckFirmwareActive(self.index)
        if status == qm.QM_RETURN_ERROR_NON_FATAL:
            return False
        self._check(status, 'QmBoardCheckFirmwareActive')
        return True

    @property
    def last_error(self):
        """The library's last-error text for this board."""
        return last_error(self.index)

    @property
    def supported_duts(self):
        """The library's two texts about the DUTs it supports (names, details)."""
        status, names, details = qm.QmGetSupportedDuts(self.index)
        self._check(status, 'QmGetSupportedDuts')
        return names, details

    def i2c(self, address):
        """The I2C device at bus address `address` (I2cDevice)."""
        return I2cDevice(self, address)

    def read_register(self, space, address, device=0, width=0, dut=0):
        """Reads one register: `space` is a name of SPACES ('fpga', 'spi',
        'i2c', ...) or an access-method constant; `device` the SPI chip
        select or I2C address; `width` 8, 16, 32 or 0 for the register's own."""
        status, value = qm.QmNewestHardwareRead(self.index, dut, _space(space), address, device,
                                                width, 1, 0)
        self._check(status, 'QmNewestHardwareRead')
        return value

    def write_register(self, space, address, value, device=0, width=0, dut=0):
        """Writes one register (arguments as for read_register)."""
        self._check(qm.QmNewestHardwareWrite(self.index, dut, _space(space), address, device,
                                             width, 1, 0, value), 'QmNewestHardwareWrite')


def open(index=0, name=None):
    """Opens board `index` (checking its name when given) and returns the
    Board; use it in a `with` statement so it is closed in any case."""
    return Board(index, name)


def shutdown():
    """Shuts the library down (closes every board)."""
    check(qm.QmShutdown(), 'QmShutdown')
