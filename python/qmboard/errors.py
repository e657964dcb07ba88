"""QmError: a library call that answered with a failing status, or a
capture that did not deliver what was asked."""
import qm_python as qm

STATUS_NAMES = {qm.QM_RETURN_OK: 'QM_RETURN_OK',
                qm.QM_RETURN_ERROR_NON_FATAL: 'QM_RETURN_ERROR_NON_FATAL',
                qm.QM_RETURN_ERROR: 'QM_RETURN_ERROR'}


def status_text(status):
    """'status 2 (QM_RETURN_ERROR)'."""
    return 'status %s (%s)' % (status, STATUS_NAMES.get(status, 'unknown status'))


class QmError(Exception):
    """A library call failed, or a capture delivered fewer words than asked.

    status: the library's status word (QM_RETURN_OK when the call reported
        success but delivered too little); function: the library function's
        name; board: the board number, or None for calls that concern no board.
    text: the library's last-error text for the board when this failure set
        it, else None. The library keeps its last text until the next failure
        replaces it, so qmboard compares the text after the failure with the
        one it last saw for the board: an unchanged text is not this failure's
        (the message quotes it as unchanged). A failure that sets
        exactly the text of the previous one on the board therefore has
        text None too.
    words, requested: for a capture, how many words came of how many asked
        (None for other calls)."""

    def __init__(self, status, function, text=None, board=None, reason=None, stale_text=None):
        if isinstance(status, bool) or not isinstance(status, (int, long)):
            raise TypeError('status must be an integer, not %s' % type(status).__name__)
        for name, value in (('function', function), ('text', text), ('reason', reason),
                            ('stale_text', stale_text)):
            if not isinstance(value, str) and (value is not None or name == 'function'):
                raise TypeError('%s must be a str, not %s' % (name, type(value).__name__))
        self.status = status
        self.function = function
        self.text = text
        self.board = board
        self.words = self.requested = None
        message = '%s %s' % (function, reason or 'failed with ' + status_text(status))
        if text:
            message += ': ' + text
        elif stale_text:
            message += " (the library's last-error text did not change: %r)" % stale_text
        Exception.__init__(self, message)


class QmNonFatalError(QmError):
    """A library call answered QM_RETURN_ERROR_NON_FATAL."""


_UNSEEN = object()
_seen = {}  # board -> the last-error text qmboard last read for it


def last_error(board):
    """The library's last-error text for `board` (read now)."""
    status, text = qm.QmBoardReadLastError(board)
    _seen[board] = text
    return text


def error(status, function, board=None, reason=None):
    """The QmError (QmNonFatalError for the non-fatal status) for a failure
    of `function`, with the board's last-error text when this failure set it
    (see QmError)."""
    text = stale = None
    if board is not None:
        before = _seen.get(board, _UNSEEN)
        text = last_error(board)
        if text == before:
            text, stale = None, text
    kind = QmNonFatalError if status == qm.QM_RETURN_ERROR_NON_FATAL else QmError
    return kind(status, function, text, board, reason, stale)


def check(status, function, board=None):
    """Raises error(...) unless `status` is QM_RETURN_OK."""
    if status != qm.QM_RETURN_OK:
        raise error(status, function, board)
