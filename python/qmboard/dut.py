"""A DUT of an open board: its description, captures, DAC, EEPROM kind,
script versions and selection."""
import array

import qm_python as qm
from qmboard import analysis
from qmboard import samples as coding
from qmboard.errors import check
from qmboard.versions import Version

EEPROM_TYPES = {qm.QM_DUT_EEPROM_STANDARD: 'standard', qm.QM_DUT_EEPROM_FMC: 'fmc'}


class _Plain(object):
    """A copied description: plain attributes, valid after the call."""
    _show = ()

    def __repr__(self):
        return '%s(%s)' % (type(self).__name__,
                           ', '.join('%s=%r' % (a, getattr(self, a)) for a in self._show))


class CaptureConfig(_Plain):
    """One capture configuration of a DUT (a copy of its QmChannelData):
    name, channels, transfer_min_size, transfer_max_size, data_format (the
    default), bit_size and sampling_freq_changes."""
    _show = ('name', 'channels', 'transfer_min_size', 'transfer_max_size', 'data_format',
             'bit_size', 'sampling_freq_changes')

    def __init__(self, record):
        self.name = record.Name
        self.channels = record.num_channels_returned_to_user
        self.transfer_min_size = record.TransferMinSize
        self.transfer_max_size = record.TransferMaxSize
        self.data_format = record.default_data_format
        self.bit_size = record.BitSize
        self.sampling_freq_changes = bool(record.sampling_freq_changes)


class DacConfig(_Plain):
    """One DAC download configuration of a DUT (a copy): name, bit_width,
    min_freq, max_freq, min_transfer_size, max_transfer_size, max_num_channels."""
    _show = ('name', 'bit_width', 'min_freq', 'max_freq', 'min_transfer_size',
             'max_transfer_size', 'max_num_channels')

    def __init__(self, record):
        for attribute in self._show:
            setattr(self, attribute, getattr(record, attribute))


class DutInfo(_Plain):
    """A DUT's description (copied from QmDUTInfo): type, revision,
    histogram_info, capture_configs, dac_configs and version."""
    _show = ('type', 'revision', 'histogram_info', 'capture_configs', 'dac_configs', 'version')

    def __init__(self, record, version):
        self.type = record.Type
        self.revision = record.Revision
        self.histogram_info = record.HistogramInfo
        configs = qm.Qm_Capture_Configuration_Array.frompointer(record.capture_configs,
                                                                record.capture_config_count)
        self.capture_configs = [CaptureConfig(c) for c in configs] if configs is not None else []
        # The module has no array class over DAC configurations: only the
        # first one is reachable through the record's pointer.
        dac = record.dac_configs
        self.dac_configs = [DacConfig(dac)] if dac is not None and record.dac_config_count else []
        self.version = version


class Dut(object):
    """DUT `index` of an open board."""

    def __init__(self, board, index):
        self.board = board
        self.index = index
        self._dac_words = None  # the samples the library may still read while sourcing

    def __repr__(self):
        return '<Dut %d of board %d>' % (self.index, self.board.index)

    def _check(self, status, function):
        check(status, function, self.board.index)

    @property
    def info(self):
        """The DUT's description (DutInfo), read now."""
        status, record, version = qm.QmBoardReadDUTInfo(self.board.index, self.index)
        self._check(status, 'QmBoardReadDUTInfo')
        return DutInfo(record, Version.of(version))

    @property
    def capture_configs(self):
        """The capture configurations (CaptureConfig list)."""
        return self.info.capture_configs

    @property
    def bit_width(self):
        """Sample width in bits (of capture configuration 0)."""
        return self.capture_configs[0].bit_size

    @property
    def sampling_frequency(self):
        """Sampling frequency in Hz of capture configuration 0."""
        return self.sampling_frequency_of(0)

    def sampling_frequency_of(self, config):
        """Sampling frequency in Hz of capture configuration `config`."""
        status, hz = qm.QmGetSamplingFrequency(self.board.index, self.index, config)
        self._check(status, 'QmGetSamplingFrequency')
        return hz

    def capture(self, samples, config=0, raw=False, data_format=None):
        """Captures `samples` words with capture configuration `config` and
        returns them as an array.array: signed values per the data format
        (the configuration's default unless `data_format` is given) and bit
        width, or the raw 32-bit words when `raw` is true. The buffer is read
        in one bulk copy."""
        return self._capture(samples, config, self._capture_config(config), raw, data_format)

    def _capture_config(self, config):
        """CaptureConfig `config` of the DUT; ValueError when it has none such."""
        configs = self.capture_configs
        if not 0 <= config < len(configs):
            raise ValueError('no capture configuration %r: the DUT has %d' % (config, len(configs)))
        return configs[config]

    def _capture(self, samples, config, cfg, raw=False, data_format=None):
        fmt = cfg.data_format if data_format is None else data_format
        board, dut = self.board.index, self.index
        setup = qm.QmCaptureSetup(TransferSize=samples, ChannelDataIndex=config, DataFormat=fmt)
        self._check(qm.QmBoardWriteCaptureStart(board, dut, setup), 'QmBoardWriteCaptureStart')
        try:
            data = self._read_capture(samples)
        except BaseException:
            qm.QmBoardWriteCaptureEnd(board, dut)  # the first failure is the one to report
            raise
        self._check(qm.QmBoardWriteCaptureEnd(board, dut), 'QmBoardWriteCaptureEnd')
        if raw:
            words = array.array(qm.WORD_TYPECODE)
            words.fromstring(data)
            return words
        return coding.decode(data, cfg.bit_size, fmt)

    def measure(self, samples=8192, config=0, channel=0, window=None):
        """Captures `samples` samples of `channel` with capture configuration
        `config` and analyses them: returns a qmboard.analysis.Analysis
        (spectrum, SNR, SINAD, SFDR, THD, noise floor, ENOB; print it for
        the figures). `samples` is a power of two; `window` as analyse()
        takes it."""
        analysis.check(samples, window)
        cfg = self._capture_config(config)
        channels = cfg.channels
        if not 0 <= channel < channels:
            raise ValueError('no channel %r in capture configuration %d: it has %d'
                             % (channel, config, channels))
        data = self._capture(samples * channels, config, cfg)
        return analysis.analyse(data[channel::channels], cfg.bit_size,
                                self.sampling_frequency_of(config), window)

    def _read_capture(self, count):
        """The bytes of `count` captured words; the library may hand them out
        in several reads."""
        buffer = qm.Qm_Word_Array(count)
        chunks, left = [], count
        while left:
            status, got = qm.QmBoardReadCaptureData(self.board.index, self.index, buffer.cast(),
                                                    left)
            self._check(status, 'QmBoardReadCaptureData')
            if not got:
                break
            chunks.append(buffer.tostring(min(got, left)))
            left -= min(got, left)
        return chunks[0] if len(chunks) == 1 else ''.join(chunks)

    def select(self, name):
        """Selects the DUT model `name` (QmSetDut)."""
        self._check(qm.QmSetDut(self.board.index, self.index, name), 'QmSetDut')

    @property
    def eeprom_type(self):
        """'standard' or 'fmc': the kind of EEPROM the DUT carries."""
        status, kind = qm.QmGetDutEepromType(self.board.index, self.index)
        self._check(status, 'QmGetDutEepromType')
        return EEPROM_TYPES.get(kind, kind)

    @property
    def eeprom(self):
        """The DUT's EEPROM (the board's dut_eeprom)."""
        return self.board.dut_eeprom

    @property
    def script_versions(self):
        """The two version numbers of the library's scripts for this DUT."""
        status, first, second = qm.QmGetScriptVerions(self.board.index, self.index)
        self._check(status, 'QmGetScriptVerions')
        return Version.of(first), Version.of(second)

    # ---- DAC ----
    def dac_download(self, values, frequency, channels=(0,), data_format=coding.TWOS_COMPLEMENT,
                     configuration=0, repeat=True):
        """Downloads signed sample `values` (frames of len(channels) samples)
        to the DAC, to be sourced at `frequency` Hz on `channels`."""
        dac = self.info.dac_configs
        if not 0 <= configuration < len(dac):
            raise ValueError('no DAC configuration %r' % (configuration,))
        if not 1 <= len(channels) <= qm.QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED:
            raise ValueError('1..%d DAC channels, not %d'
                             % (qm.QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED, len(channels)))
        words = qm.Qm_Word_Array(len(values))
        words.write(coding.encode(values, dac[configuration].bit_width, data_format))
        selected = qm.Qm_Word_Array(qm.QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED)
        selected.write(channels)
        cmd = qm.Qm_Dac_Cmd_Data(configuration=configuration, freq=frequency,
                                 data_format=data_format, transfer_size=len(values),
                                 num_channels=len(channels), repeat=int(bool(repeat)))
        cmd.channel = selected.cast()
        cmd.data = words.cast()
        self._dac(qm.QM_DAC_CMD_DOWNLOAD_DATA, cmd)
        self._dac_words = words

    def dac_start(self):
        """Starts sourcing the downloaded waveform."""
        self._dac(qm.QM_DAC_CMD_START_SOURCING, qm.Qm_Dac_Cmd_Data())

    def dac_stop(self):
        """Stops sourcing."""
        self._dac(qm.QM_DAC_CMD_STOP_SOURCING, qm.Qm_Dac_Cmd_Data())

    def _dac(self, command, data):
        status = qm.QmDacExecCommand(self.board.index, self.index, command, data)
        self._check(status, 'QmDacExecCommand')

