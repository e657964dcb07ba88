"""Boards: discovery, opening and closing, FPGA images, memories, I2C
devices and registers."""
import collections
import weakref

import qm_python as qm
from qmboard import arguments, events
from qmboard.dut import Dut
from qmboard.errors import QmError, check, last_error
from qmboard.versions import Version

# Register spaces by name, for read_register and write_register.
SPACES = {'memory': qm.QM_DEBUG_ACCESS_MEMORY_MAPPED,
          'spi': qm.QM_DEBUG_ACCESS_SPI,
          'fpga': qm.QM_DEBUG_ACCESS_PORT_FPGA_REGISTER,
          'i2c': qm.QM_DEBUG_ACCESS_I2C,
          'cypress_sfr': qm.QM_DEBUG_ACCESS_CYPRESS_SFR,
          'private': qm.QM_DEBUG_ACCESS_PRIVATE}
WIDTHS = (0, 8, 16, 32)
MAX_BYTES = 1 << 20  # the most one EEPROM or I2C read asks for


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
    """The bytes of `data` in a Qm_Stream, by the class layer's byte rule; a
    byte value outside 0..255 is a ValueError here, like every other value
    the bench API refuses."""
    try:
        return qm.Qm_Stream.of(data)
    except OverflowError as refused:
        raise ValueError(str(refused))


class Eeprom(object):
    """An EEPROM of a board, read and written by byte offset (the board's
    cypress_eeprom and dut_eeprom)."""

    def __init__(self, board, name, read, write):
        arguments.instance(board, Board, 'board')
        arguments.text(name, 'name')
        if not (callable(read) and callable(write)):
            raise TypeError('read and write must be the library calls that read and write')
        self._board, self.name = board, name
        self._read, self._write = read, write

    def __repr__(self):
        return '<%s of board %d>' % (self.name, self._board.index)

    def read(self, offset, length):
        """`length` bytes (0..MAX_BYTES) from `offset`, as a str."""
        arguments.integer(offset, 'offset')
        arguments.integer(length, 'length', 0, MAX_BYTES)
        buffer = qm.Qm_Stream(length)
        check(self._read(self._board.index, offset, buffer.cast(), length),
              self._read.__name__, self._board.index)
        return buffer.read()

    def write(self, offset, data):
        """Writes the bytes of `data` at `offset`: bytes-like data (str,
        bytearray, buffer, memoryview, array.array) or a list or tuple of ints
        in 0..255; anything else raises TypeError (a byte value out of range
        ValueError) before anything is written."""
        arguments.integer(offset, 'offset')
        stream = _stream(data)
        check(self._write(self._board.index, offset, stream.cast(), len(stream)),
              self._write.__name__, self._board.index)


class I2cDevice(object):
    """A device on the board's I2C bus, by bus address."""

    def __init__(self, board, address):
        arguments.instance(board, Board, 'board')
        self._board, self.address = board, arguments.integer(address, 'I2C address')

    def __repr__(self):
        return '<I2C device 0x%02x of board %d>' % (self.address, self._board.index)

    def read(self, register, length, flags=0):
        """`length` bytes (0..MAX_BYTES) from `register` on, as a str."""
        arguments.integer(register, 'register')
        arguments.integer(length, 'length', 0, MAX_BYTES)
        arguments.integer(flags, 'flags')
        buffer = qm.Qm_Stream(length)
        check(qm.QmBoardReadI2CDEVICE(self._board.index, self.address, register, buffer.cast(),
                                      length, flags), 'QmBoardReadI2CDEVICE', self._board.index)
        return buffer.read()

    def write(self, register, data, flags=0, delay=0):
        """Writes the bytes of `data` from `register` on (bytes-like data or a
        list or tuple of ints in 0..255, as Eeprom.write takes)."""
        arguments.integer(register, 'register')
        arguments.integer(flags, 'flags')
        arguments.integer(delay, 'delay')
        stream = _stream(data)
        check(qm.QmBoardWriteI2CDEVICE(self._board.index, self.address, register,
                                       stream.cast(), len(stream), flags, delay),
              'QmBoardWriteI2CDEVICE', self._board.index)


def _space(space):
    if isinstance(space, str) and space in SPACES:
        return SPACES[space]
    if isinstance(space, (int, long)) and not isinstance(space, bool):
        return arguments.integer(space, 'register space', arguments.INT_MIN, arguments.INT_MAX)
    raise ValueError('unknown register space %r (one of %s, or an access-method constant)'
                     % (space, ', '.join(sorted(SPACES))))


def _register(space, address, device, width, dut):
    """The access arguments of read_register and write_register, checked."""
    method = _space(space)
    arguments.integer(address, 'register address')
    arguments.integer(device, 'device')
    if isinstance(width, bool) or width not in WIDTHS:
        raise ValueError('width must be 8, 16, 32 or 0 (the register\'s own), not %r' % (width,))
    arguments.integer(dut, 'DUT index', 0, qm.MAX_DUT - 1)
    return method


_open_boards = weakref.WeakSet()  # Board objects whose board the library has open


class Board(object):
    """An open board. Use it as a context manager: the board is closed when
    the block ends, also when it ends with an exception.

    version: the board's version (Version); fpga_version: the Version
    load_fpga() last reported through this object (None before);
    cypress_eeprom, dut_eeprom: its EEPROMs (Eeprom); closed: True once the
    board was closed, through this object, another Board of the same index,
    or shutdown(). Closing stops every DAC that a DUT of this board started
    (Dut.dac_start, Dut.dac_tone) and has not stopped."""

    def __init__(self, index=0, name=None):
        arguments.integer(index, 'board index', 0, qm.MAX_BOARD - 1)
        arguments.text(name, 'board name', optional=True)
        last_error(index)  # the text before, so that a failure's own text is known
        (status, handle), version = qm.QmBoardOpen(index, name)
        check(status, 'QmBoardOpen', index)
        self.index = index
        self.handle = handle
        self.version = Version.of(version)
        self.fpga_version = None
        self.closed = False
        self._duts = {}
        self._enumerated = None  # (board names, library version), read once
        self.cypress_eeprom = Eeprom(self, 'Cypress EEPROM', qm.QmBoardReadCypressEEPROM,
                                     qm.QmBoardWriteCypressEEPROM)
        self.dut_eeprom = Eeprom(self, 'DUT EEPROM', qm.QmBoardReadDUTEEPROM,
                                 qm.QmBoardWriteDUTEEPROM)
        _open_boards.add(self)
        events.listen()

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
        """Closes the board (once; later calls do nothing, and neither do
        calls after shutdown() or after another Board of the same index
        closed it). DACs its DUTs started are stopped first; the board is
        closed whether that works or not: QmError for a close that failed,
        else for the first stop that failed."""
        if not self.closed:
            same = [board for board in _open_boards if board.index == self.index]
            stopped = _stop_dacs(same)
            status = qm.QmBoardClose(self.index)
            for board in same:
                board._closed()
            self._check(status, 'QmBoardClose')
            if stopped is not None:
                raise stopped

    def _closed(self):
        """The library closed the board."""
        if not self.closed:
            self.closed = True
            _open_boards.discard(self)
            for dut in self._duts.values():
                dut._forget(closed=True)
            events.stop_listening()

    def _enumeration(self):
        """(names of the attached boards, library Version), read once."""
        if self._enumerated is None:
            found = boards()
            self._enumerated = found.names, found.library_version
        return self._enumerated

    def _forget_descriptions(self):
        for dut in self._duts.values():
            dut._forget()

    def _check(self, status, function):
        check(status, function, self.index)

    @property
    def duts(self):
        """Names of the DUTs attached to the board."""
        status, names = qm.QmBoardDUTEnum(self.index)
        self._check(status, 'QmBoardDUTEnum')
        return names

    def dut(self, index=0):
        """DUT `index` of the board (Dut): the same object on every call."""
        return Dut(self, index)

    def load_fpga(self, image, dut=0):
        """Loads FPGA image `image` for DUT `dut`; returns the image's Version."""
        arguments.text(image, 'image')
        arguments.integer(dut, 'DUT index', 0, qm.MAX_DUT - 1)
        try:
            status, version = qm.QmBoardLoadFPGA(self.index, dut, image)
        finally:
            self._forget_descriptions()
        self._check(status, 'QmBoardLoadFPGA')
        self.fpga_version = Version.of(version)
        return self.fpga_version

    def reset(self):
        """Resets the board."""
        try:
            status = qm.QmBoardReset(self.index)
        finally:
            self._forget_descriptions()
        self._check(status, 'QmBoardReset')

    def firmware_active(self):
        """True when the board's firmware runs; False when the library says
        it does not (the non-fatal status); QmError for other failures."""
        status = qm.QmBoardCheckFirmwareActive(self.index)
        if status == qm.QM_RETURN_ERROR_NON_FATAL:
            last_error(self.index)  # a failure's text, not to be taken for a later one's
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
        method = _register(space, address, device, width, dut)
        status, value = qm.QmNewestHardwareRead(self.index, dut, method, address, device,
                                                width, 1, 0)
        self._check(status, 'QmNewestHardwareRead')
        return value

    def write_register(self, space, address, value, device=0, width=0, dut=0):
        """Writes one register (arguments as for read_register; `value` a word)."""
        method = _register(space, address, device, width, dut)
        arguments.integer(value, 'value')
        self._check(qm.QmNewestHardwareWrite(self.index, dut, method, address, device,
                                             width, 1, 0, value), 'QmNewestHardwareWrite')


def open(index=0, name=None):
    """Opens board `index` (0..MAX_BOARD - 1; checking its name when given)
    and returns the Board; use it in a `with` statement so it is closed in
    any case."""
    return Board(index, name)


def _stop_dacs(boards):
    """Stops the DACs that DUTs of `boards` started; the first failure
    (QmError), or None."""
    first = None
    for board in boards:
        for dut in board._duts.values():
            if dut._sourcing:
                try:
                    dut.dac_stop()
                except QmError as error:
                    first = first or error
    return first


def shutdown():
    """Shuts the library down, which closes every board: every open Board
    counts as closed from then on (its close() does nothing). DACs their
    DUTs started are stopped first, as close() stops them."""
    boards = list(_open_boards)
    stopped = _stop_dacs(boards)
    check(qm.QmShutdown(), 'QmShutdown')
    for board in boards:
        board._closed()
    if stopped is not None:
        raise stopped
