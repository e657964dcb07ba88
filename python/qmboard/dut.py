"""A DUT of an open board: its description, captures, DAC, EEPROM kind,
script versions and selection."""
import datetime

import _qm_signal as signal
import qm_python as qm
from qmboard import analysis, arguments, density, events, tones, two_tone
from qmboard import samples as coding
from qmboard.captures import Capture
from qmboard.errors import QmError, check, error, status_text
from qmboard.versions import Version

EEPROM_TYPES = {qm.QM_DUT_EEPROM_STANDARD: 'standard', qm.QM_DUT_EEPROM_FMC: 'fmc'}


class _Plain(object):
    """A copied description: plain attributes, valid after the call."""
    _show = ()

    def _shown(self, attribute):
        return repr(getattr(self, attribute))

    def __repr__(self):
        return '%s(%s)' % (type(self).__name__,
                           ', '.join('%s=%s' % (a, self._shown(a)) for a in self._show))


class CaptureConfig(_Plain):
    """One capture configuration of a DUT (a copy of its QmChannelData):
    name, channels, transfer_min_size, transfer_max_size (in words, all
    channels together), data_format (the default: qmboard.BINARY,
    OFFSET_BINARY or TWOS_COMPLEMENT), bit_size and sampling_freq_changes."""
    _show = ('name', 'channels', 'transfer_min_size', 'transfer_max_size', 'data_format',
             'bit_size', 'sampling_freq_changes')

    def __init__(self, record):
        arguments.instance(record, qm.QmChannelData, 'record')
        self.name = record.Name
        self.channels = record.num_channels_returned_to_user
        self.transfer_min_size = record.TransferMinSize
        self.transfer_max_size = record.TransferMaxSize
        self.data_format = record.default_data_format
        self.bit_size = record.BitSize
        self.sampling_freq_changes = bool(record.sampling_freq_changes)

    def _shown(self, attribute):
        if attribute == 'data_format':
            return coding.format_name(self.data_format)
        return _Plain._shown(self, attribute)


class DacConfig(_Plain):
    """One DAC download configuration of a DUT (a copy): name, bit_width,
    min_freq, max_freq, min_transfer_size, max_transfer_size, max_num_channels."""
    _show = ('name', 'bit_width', 'min_freq', 'max_freq', 'min_transfer_size',
             'max_transfer_size', 'max_num_channels')

    def __init__(self, record):
        arguments.instance(record, qm.Qm_Dac_Download_Configuration, 'record')
        for attribute in self._show:
            setattr(self, attribute, getattr(record, attribute))


class DutInfo(_Plain):
    """A DUT's description (copied from QmDUTInfo): type, revision,
    histogram_info, capture_configs, dac_configs and version."""
    _show = ('type', 'revision', 'histogram_info', 'capture_configs', 'dac_configs', 'version')

    def __init__(self, record, version):
        arguments.instance(record, qm.QmDUTInfo, 'record')
        arguments.instance(version, Version, 'version')
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

    def _shown(self, attribute):
        if attribute == 'type':
            return '0x%x' % self.type
        return _Plain._shown(self, attribute)


def _dac_channels(channels):
    """The DAC channel numbers `channels` as a list of 1 to
    QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED words."""
    channels = arguments.integers(channels, 'channels', 0, arguments.WORD_MAX)
    most = qm.QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED
    if not 1 <= len(channels) <= most:
        raise ValueError('1..%d DAC channels, not %d' % (most, len(channels)))
    return channels


def _nth(names, index):
    """names[index], or None when the library listed fewer."""
    return names[index] if index < len(names) else None


class _Plan(object):
    """What a measurement captures: samples per channel, configuration,
    channel of how many, bit width, sampling frequency, analysis options."""

    def __init__(self, samples, config, channel, channels, bits, rate, options):
        self.samples, self.config, self.channel, self.channels = samples, config, channel, channels
        self.bits, self.rate, self.options = bits, rate, options


def _channels(cfg):
    """Channels a capture of `cfg` delivers per sample (a configuration that
    gives none captures as one channel)."""
    return cfg.channels or 1


class Dut(object):
    """DUT `index` of an open board: one object per board and index, which
    board.dut(index) and Dut(board, index) both give.

    The DUT's description (info, capture_configs, bit_width, the DAC
    configurations) is read once and kept while qmboard hears the library's
    events (qmboard.events): it is read again after an event that may change
    it (hot-plug, power, EEPROM reload), after select(), load_fpga() and
    reset() of the board, and for every use while another event receiver is
    registered. A DUT model changed through the flat QmSetDut is not seen:
    read dut.info (which reads now) afterwards. A capture during which such an
    event arrives checks the description again and raises QmError when its
    bit width or channels changed."""

    def __new__(cls, board, index=0):
        from qmboard.board import Board
        arguments.instance(board, Board, 'board')
        arguments.integer(index, 'DUT index', 0, qm.MAX_DUT - 1)
        dut = board._duts.get(index)
        if dut is None:
            dut = object.__new__(cls)
            dut.board, dut.index = board, index
            dut._description = None  # (events.epoch() before the read, DutInfo)
            dut._dac_buffers = ()    # what the library may read while it sources
            dut._sourcing = False    # dac_start succeeded and no dac_stop since
            board._duts[index] = dut
        return dut

    def __repr__(self):
        return '<Dut %d of board %d>' % (self.index, self.board.index)

    def _check(self, status, function):
        check(status, function, self.board.index)

    # ---- the description ----
    def _read(self, epoch):
        status, record, version = qm.QmBoardReadDUTInfo(self.board.index, self.index)
        self._check(status, 'QmBoardReadDUTInfo')
        info = DutInfo(record, Version.of(version))
        self._description = (epoch, info) if epoch is not None else None
        return info

    def _described(self):
        """(epoch, DutInfo): the kept description while it is current."""
        epoch = events.epoch()
        kept = self._description
        if kept is not None and kept[0] == epoch:
            return kept
        return epoch, self._read(epoch)

    def _forget(self, closed=False):
        """The description may have changed; with `closed`, the board was
        closed and the library reads no DAC samples any more."""
        self._description = None
        if closed:
            self._dac_buffers = ()
            self._sourcing = False

    @property
    def info(self):
        """The DUT's description (DutInfo), read now; captures use it from
        then on."""
        return self._read(events.epoch())

    @property
    def capture_configs(self):
        """The capture configurations (CaptureConfig list)."""
        return self._described()[1].capture_configs

    @property
    def bit_width(self):
        """Sample width in bits (of capture configuration 0)."""
        return self._capture_config(0)[1].bit_size

    @property
    def sampling_frequency(self):
        """Sampling frequency in Hz of capture configuration 0."""
        return self.sampling_frequency_of(0)

    def sampling_frequency_of(self, config):
        """Sampling frequency in Hz of capture configuration `config`."""
        arguments.integer(config, 'capture configuration')
        status, hz = qm.QmGetSamplingFrequency(self.board.index, self.index, config)
        self._check(status, 'QmGetSamplingFrequency')
        return hz

    def _capture_config(self, config):
        """(epoch, CaptureConfig `config`); ValueError when the DUT has none such."""
        epoch, info = self._described()
        configs = info.capture_configs
        if not config < len(configs):
            raise ValueError('no capture configuration %d: the DUT has %d' % (config, len(configs)))
        return epoch, configs[config]

    # ---- captures ----
    def capture(self, samples, config=0, raw=False, data_format=None):
        """Captures `samples` samples per channel with capture configuration
        `config` and returns them as an array.array of samples x channels
        values: channels interleaved (sample n of channel c at n * channels
        + c; one channel: just the samples), signed per the data format (the
        configuration's default unless `data_format` is given) and bit width,
        or the raw 32-bit words when `raw` is true. The samples are decoded
        straight from the capture buffer (the raw words come in one bulk copy).

        samples x channels must lie within the configuration's transfer
        sizes (ValueError). A capture that delivers fewer words than asked
        raises QmError saying how many came (its `words` and `requested`);
        the capture is ended on the board in every case."""
        arguments.integer(samples, 'samples', 1)
        arguments.integer(config, 'capture configuration')
        if data_format is not None:
            coding.check_format(data_format)
        cfg, words = self._take(samples, config, data_format)
        if raw:
            return words.read()
        return coding.decode_words(words, cfg.bit_size, cfg.data_format if data_format is None
                                   else data_format)

    def measure(self, samples=8192, config=0, channel=0, window=None, averages=1, harmonics=5,
                spurs=5, exclude=(), exclude_bins=()):
        """Captures `samples` samples per channel with capture configuration
        `config` and analyses those of `channel`: returns a
        qmboard.analysis.Analysis (spectrum, SNR, SINAD, SFDR, THD, noise
        floor, ENOB; print it for the figures, its report() for the tables).
        `samples` is a power of two; `window` as analyse() takes it;
        `averages` (1 to analysis.MAX_AVERAGES) captures that many records
        one after the other and analyses the mean of their power spectra
        (analysis.average: the noise bins' spread narrows by its square
        root); `harmonics`, `spurs`, `exclude` and `exclude_bins` as
        analysis.Options takes them. Clipping counts at the codes of the
        configuration's data format. Every argument is checked before the
        first capture."""
        plan = self._plan(samples, config, channel, window, averages,
                          analysis.Options(harmonics, spurs, exclude, exclude_bins))
        spectra = analysis._Spectra(plan.bits, plan.rate, window, plan.options, averages)
        self._captured(plan, spectra)
        return analysis._single_tone_of(spectra, plan.options)

    def measure_two_tone(self, samples=8192, config=0, channel=0, window=None, averages=1,
                         tones=None, spurs=5, exclude=(), exclude_bins=()):
        """Captures as measure() does and analyses the record as two tones
        (qmboard.two_tone.analyse_two_tone): returns a TwoToneAnalysis
        (both tones, IMD2, IMD3, SFDR beside the tones, noise). `tones`:
        None (the two largest components) or their frequencies (f1, f2) in
        Hz, such as the DacTone of dac_tone() holds; the rest as measure()
        takes it."""
        tones = two_tone._check_tones(tones)
        plan = self._plan(samples, config, channel, window, averages,
                          analysis.Options(0, spurs, exclude, exclude_bins))
        spectra = analysis._Spectra(plan.bits, plan.rate, window, plan.options, averages, 2)
        self._captured(plan, spectra)
        return two_tone._two_tone_of(spectra, plan.options, tones)

    def _plan(self, samples, config, channel, window, averages, options):
        """What measure() and measure_two_tone() capture, every argument checked."""
        arguments.integer(samples, 'samples', 1)
        arguments.integer(config, 'capture configuration')
        arguments.integer(channel, 'channel')
        arguments.integer(averages, 'averages', 1, analysis.MAX_AVERAGES)
        analysis.check(samples, window)
        cfg = self._capture_config(config)[1]
        channels = _channels(cfg)
        if not channel < channels:
            raise ValueError('no channel %d in capture configuration %d: it has %d'
                             % (channel, config, channels))
        self._words(samples, config, cfg)
        rate = self.sampling_frequency_of(config)
        options.excluded(samples, rate / samples)  # ranges beyond fs/2 refused now
        options.code_limits = tones.code_range(cfg.bit_size, cfg.data_format)
        return _Plan(samples, config, channel, channels, cfg.bit_size, rate, options)

    def _captured(self, plan, spectra):
        """Captures the records of `plan` into `spectra`, one at a time: the
        capture buffer of each goes before the next capture starts."""
        for _ in range(spectra.count):
            cfg, words = self._take(plan.samples, plan.config, None)
            spectra.add(coding.decode_words(words, cfg.bit_size, cfg.data_format,
                                            _channels(cfg), plan.channel))
            del words

    def code_density(self, samples=1 << 20, config=0, channel=0, hardware=None):
        """The code-density test (qmboard.density: DNL and INL per code,
        missing codes, the sine's fit) of `samples` samples of `channel` of
        capture configuration `config`, whose input should be a sine at or
        slightly beyond full scale; returns a CodeDensity.

        hardware: None uses the DUT's hardware histogram where its
        description offers one bin per code (HistogramInfo at least
        2**bit_width) for a configuration of one channel: a capture with
        HistogramEnable set, HistogramMaxBin 2**bit_width - 1, TransferSize
        2**bit_width and num_acqs_per_strm = `samples` returns the counts
        (word i for code i - 2**(bit_width - 1)), and no samples cross the
        link; otherwise the samples are captured (within the
        configuration's transfer sizes) and counted by the signal core.
        True insists on the hardware (ValueError where there is none), False
        counts captured samples."""
        arguments.integer(samples, 'samples', 1)
        arguments.integer(config, 'capture configuration')
        arguments.integer(channel, 'channel')
        if hardware is not None and not isinstance(hardware, bool):
            raise TypeError('hardware must be None, True or False, not %s'
                            % type(hardware).__name__)
        epoch, cfg = self._capture_config(config)
        channels, bits = _channels(cfg), cfg.bit_size
        if not channel < channels:
            raise ValueError('no channel %d in capture configuration %d: it has %d'
                             % (channel, config, channels))
        density._check_bits(bits)
        bins = 1 << bits
        offered = self._described()[1].histogram_info >= bins and channels == 1
        if hardware and not offered:
            raise ValueError('the DUT offers no hardware histogram of %d bins for capture '
                             'configuration %d (%d channel%s; HistogramInfo %d)'
                             % (bins, config, channels, 's' if channels > 1 else '',
                                self._described()[1].histogram_info))
        if offered if hardware is None else hardware:
            setup = qm.QmCaptureSetup(TransferSize=bins, ChannelDataIndex=config,
                                      DataFormat=cfg.data_format, HistogramEnable=1,
                                      HistogramMaxBin=bins - 1, num_acqs_per_strm=samples)
            counts = self._run(epoch, cfg, config, setup, bins)[1]
            return density.code_density_of_counts(counts.read(), bits,
                                                  source='hardware histogram')
        cfg, words = self._take(samples, config, None)
        fmt = cfg.data_format
        if channels == 1 and fmt != coding.BINARY:
            counts = signal.histogram(coding.word_view(words), cfg.bit_size, fmt)
        else:
            counts = signal.histogram(coding.decode_words(words, cfg.bit_size, fmt, channels,
                                                          channel),
                                      cfg.bit_size, coding.TWOS_COMPLEMENT)
        del words
        return density._density(counts, cfg.bit_size, None, None, 'samples')

    def record(self, samples, config=0, data_format=None):
        """Captures as capture() does and returns a qmboard.Capture: the
        samples with their metadata (board, DUT, configuration, data format,
        bit width, sampling frequency, the time in UTC, the library's, the
        board's and the FPGA image's versions), ready to save() and to
        analyse() offline. The FPGA version is the one board.load_fpga()
        reported, None when the image was not loaded through this Board."""
        arguments.integer(samples, 'samples', 1)
        arguments.integer(config, 'capture configuration')
        if data_format is not None:
            coding.check_format(data_format)
        time = datetime.datetime.utcnow().strftime('%Y-%m-%dT%H:%M:%S.%fZ')
        cfg, words = self._take(samples, config, data_format)
        fmt = cfg.data_format if data_format is None else data_format
        board = self.board
        names, library = board._enumeration()
        duts = board.duts
        return Capture(coding.decode_words(words, cfg.bit_size, fmt), cfg.bit_size,
                       self.sampling_frequency_of(config), _channels(cfg), fmt,
                       board=board.index, board_version=board.version,
                       board_name=_nth(names, board.index), dut=self.index,
                       dut_name=_nth(duts, self.index),
                       dut_revision=self._described()[1].revision, config=config,
                       config_name=cfg.name, time=time, library_version=library,
                       fpga_version=board.fpga_version)

    def _words(self, samples, config, cfg):
        """The words `samples` samples per channel take, checked against the
        configuration's transfer sizes."""
        channels = _channels(cfg)
        words = samples * channels
        low, high = cfg.transfer_min_size, cfg.transfer_max_size
        if not 0 < high or high < low:       # no sizes given: any word count
            low, high = 1, arguments.WORD_MAX
        if not low <= words <= high:
            per = 'samples' if channels == 1 else 'samples per channel'
            raise ValueError('%s must be %d..%d for capture configuration %d (%d channel%s, '
                             '%d..%d words), not %d'
                             % (per, -(-low // channels), high // channels, config, channels,
                                's' if channels > 1 else '', low, high, samples))
        return words

    def _take(self, samples, config, data_format):
        """(CaptureConfig, Qm_Word_Array of the captured words) of one capture."""
        epoch, cfg = self._capture_config(config)
        words = self._words(samples, config, cfg)
        fmt = cfg.data_format if data_format is None else data_format
        setup = qm.QmCaptureSetup(TransferSize=words, ChannelDataIndex=config, DataFormat=fmt)
        return self._run(epoch, cfg, config, setup, words)

    def _run(self, epoch, cfg, config, setup, words):
        """(CaptureConfig, Qm_Word_Array of the `words` words) of the capture
        `setup` describes, of configuration `config` as `cfg` (read at
        `epoch`) describes it; ended on the board in every case."""
        board, dut = self.board.index, self.index
        self._check(qm.QmBoardWriteCaptureStart(board, dut, setup), 'QmBoardWriteCaptureStart')
        try:
            buffer = self._read_capture(words)
        except BaseException:
            qm.QmBoardWriteCaptureEnd(board, dut)  # the first failure is the one to report
            raise
        self._check(qm.QmBoardWriteCaptureEnd(board, dut), 'QmBoardWriteCaptureEnd')
        if epoch is not None and events.epoch() != epoch:
            # An event that may change the description came during the capture.
            now = self._capture_config(config)[1]
            if (now.bit_size, _channels(now)) != (cfg.bit_size, _channels(cfg)):
                raise QmError(qm.QM_RETURN_OK, 'QmBoardReadCaptureData', board=board,
                              reason='delivered words of capture configuration %d while its '
                                     'description changed (%d bits, %d channel(s) before; %d, '
                                     '%d now): capture again'
                                     % (config, cfg.bit_size, _channels(cfg), now.bit_size,
                                        _channels(now)))
            cfg = now
        return cfg, buffer

    def _read_capture(self, count):
        """A Qm_Word_Array holding the `count` captured words; the library may
        hand them out in several reads (the first lands in place, later ones
        through a second buffer). QmError unless exactly `count` words came."""
        buffer = qm.Qm_Word_Array(count)
        target, pointer = buffer, buffer.cast()
        board, done = self.board.index, 0
        while done < count:
            left = count - done
            status, got = qm.QmBoardReadCaptureData(board, self.index, pointer, left)
            if status != qm.QM_RETURN_OK:
                reason = 'failed with %s after %d of %d words' % (
                    status_text(status), done, count) if done else None
                raise self._short(error(status, 'QmBoardReadCaptureData', board, reason),
                                  done, count)
            if not 0 < got <= left:
                reason = ('delivered %d of %d words' % (done, count) if not got else
                          'reported %d words read for a read of %d (after %d of %d words)'
                          % (got, left, done, count))
                raise self._short(QmError(status, 'QmBoardReadCaptureData', board=board,
                                          reason=reason + ', reporting ' + status_text(status)),
                                  done, count)
            if target is not buffer:
                buffer.fromstring(target.tostring(got), done)
            done += got
            if done < count and target is buffer:
                target = qm.Qm_Word_Array(count - done)
                pointer = target.cast()
        return buffer

    @staticmethod
    def _short(failure, words, requested):
        failure.words, failure.requested = words, requested
        return failure

    # ---- selection and queries ----
    def select(self, name):
        """Selects the DUT model `name` (QmSetDut)."""
        arguments.text(name, 'DUT name')
        try:
            self._check(qm.QmSetDut(self.board.index, self.index, name), 'QmSetDut')
        finally:
            self.board._forget_descriptions()

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
        """Downloads signed sample `values` (frames of len(channels) samples,
        integers within the DAC configuration's bit width) to the DAC, to be
        sourced at `frequency` Hz on `channels` (1 to
        QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED channel numbers). The
        library sources from qmboard's copy of the samples, which stays
        allocated until the next download or the board's close."""
        frequency = arguments.number(frequency, 'frequency')
        channels = _dac_channels(channels)
        coding.check_format(data_format)
        arguments.integer(configuration, 'DAC configuration')
        if isinstance(values, basestring) or not hasattr(values, '__len__'):
            raise TypeError('values must be a sequence of integers, not %s'
                            % type(values).__name__)
        if not values or len(values) % len(channels):
            raise ValueError('values must be whole frames of %d sample(s), not %d values'
                             % (len(channels), len(values)))
        encoded = coding._encoded(values, self._dac_config(configuration).bit_width, data_format)
        words = qm.Qm_Word_Array(len(encoded))
        words.write(encoded)
        selected = qm.Qm_Word_Array(qm.QM_MAX_NUM_SIMULTANEOUS_DAC_CHANNELS_PROGRAMMED)
        selected.write(channels)
        cmd = qm.Qm_Dac_Cmd_Data(configuration=configuration, freq=frequency,
                                 data_format=data_format, transfer_size=len(encoded),
                                 num_channels=len(channels), repeat=int(bool(repeat)))
        cmd.channel = selected.cast()
        cmd.data = words.cast()
        kept = (cmd, words, selected)
        try:
            self._dac_exec(qm.QM_DAC_CMD_DOWNLOAD_DATA, cmd)
        except BaseException:
            self._dac_buffers += kept  # the library may source from either
            raise
        self._dac_buffers = kept

    def dac_tone(self, frequency, level=-1.0, samples=8192, rate=None, channels=(0,),
                 configuration=0, config=0, data_format=coding.TWOS_COMPLEMENT):
        """Sources one tone, or several, from the DAC at coherent frequencies
        and returns what it sources (qmboard.tones.DacTone).

        frequency: the target in Hz, or a sequence of targets (one tone
        each); each tone takes the coherent frequency nearest its target
        (qmboard.coherent_frequency for `samples` updates at `rate`), and
        no two may take the same one. level: dBFS of the DAC's full scale
        (a sine of amplitude 2**(bit_width - 1) codes), at most 0, for all
        tones or one per tone; ValueError when the tones' sum does not fit
        the DAC's codes (it is never clipped). samples: the record length, updates per
        channel (at least 3, samples x channels words within the DAC
        configuration's transfer sizes). rate: the update rate in Hz, by
        default the sampling frequency of capture configuration `config`.
        channels, configuration, data_format: as dac_download() takes them;
        the tones are the same on every channel, in the DAC configuration's
        bit width.

        The record repeats, so the tones are coherent at the ADC too: a
        capture of `samples` samples per channel (or a whole multiple of
        them) at `rate` holds whole periods of every tone. With the default
        rate, dac_tone(f, samples=N) and then measure(N, config=config)
        measure the tone coherently, through the board's loopback or a
        cable. The waveform is downloaded (dac_download) and started
        (dac_start); dac_stop() stops it, and so does closing the board."""
        frequencies = tones.one_or_more(frequency, 'frequency', arguments.real)
        levels = tones.tone_levels(level, len(frequencies))
        samples = arguments.integer(samples, 'samples', 3, tones.MAX_SAMPLES)
        if rate is not None:
            rate = arguments.number(rate, 'rate')
        channels = _dac_channels(channels)
        coding.check_format(data_format)
        arguments.integer(configuration, 'DAC configuration')
        arguments.integer(config, 'capture configuration')
        dac = self._dac_config(configuration)
        words = samples * len(channels)
        if not dac.min_transfer_size <= words <= dac.max_transfer_size:
            raise ValueError('samples x channels must be %d..%d words for DAC configuration %d, '
                             'not %d x %d' % (dac.min_transfer_size, dac.max_transfer_size,
                                              configuration, samples, len(channels)))
        given = rate is not None
        if not given:
            rate = self.sampling_frequency_of(config)
        if not dac.min_freq <= rate <= dac.max_freq:
            raise ValueError('DAC configuration %d updates at %.12g..%.12g Hz, not at %s'
                             % (configuration, dac.min_freq, dac.max_freq, '%.12g Hz' % rate
                                if given else 'the %.12g Hz of capture configuration %d: give '
                                              'the rate' % (rate, config)))
        for i, f in enumerate(frequencies):
            arguments.real(f, 'frequency' if len(frequencies) == 1 else 'frequency[%d]' % i,
                           0.0, rate / 2)
        planned = [tones.coherent_frequency(f, rate, samples) for f in frequencies]
        cycles = tuple(p.cycles for p in planned)
        if len(set(cycles)) != len(cycles):
            raise ValueError('the tones at %s Hz take the same coherent frequency (cycles %s in '
                             '%d samples): set them further apart'
                             % (', '.join('%.12g' % f for f in frequencies),
                                ', '.join(map(str, cycles)), samples))
        wave = tones.tone_waveform(cycles, levels, samples, dac.bit_width, data_format)
        frames = [v for v in wave for _ in channels] if len(channels) > 1 else wave
        self.dac_download(frames, rate, channels, data_format, configuration)
        self.dac_start()
        return tones.DacTone(tuple(p.frequency for p in planned), cycles, levels, samples, rate,
                             tuple(channels), dac.bit_width, max(max(wave), -min(wave)))

    def _dac_config(self, configuration):
        """DacConfig `configuration`; ValueError when the DUT has none such."""
        dac = self._described()[1].dac_configs
        if not configuration < len(dac):
            raise ValueError('no DAC configuration %d: the DUT has %d' % (configuration, len(dac)))
        return dac[configuration]

    def dac_start(self):
        """Starts sourcing the downloaded waveform. Closing the board (or
        qmboard.shutdown()) stops what this started."""
        self._dac_command(qm.QM_DAC_CMD_START_SOURCING)
        self._sourcing = True

    def dac_stop(self):
        """Stops sourcing."""
        self._dac_command(qm.QM_DAC_CMD_STOP_SOURCING)
        self._sourcing = False

    def _dac_command(self, command):
        self._dac_exec(command, qm.Qm_Dac_Cmd_Data())

    def _dac_exec(self, command, data):
        status = qm.QmDacExecCommand(self.board.index, self.index, command, data)
        self._check(status, 'QmDacExecCommand')
