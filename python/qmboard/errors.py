"""QmError: a library call that answered with a failing status."""
import qm_python as qm

STATUS_NAMES = {qm.QM_RETURN_OK: 'QM_RETURN_OK',
                qm.QM_RETURN_ERROR_NON_FATAL: 'QM_RETURN_ERROR_NON_FATAL',
                qm.QM_RETURN_ERROR: 'QM_RETURN_ERROR'}


class QmError(Exception):
    """A library call failed. `status` is the library's status word,
    `function` the library function's name, `text` the library's last-error
    text for the board (None for calls that concern no board), `board` the
    board number or None."""

    def __init__(self, status, function, text=None, board=None):
        self.status = status
        self.function = function
        self.text = text
        self.board = board
        message = '%s failed with status %s (%s)' % (
            function, status, STATUS_NAMES.get(status, 'unknown status'))
        if text:
            message += ': ' + text
        Exception.__init__(self, message)


class QmNonFatalError(QmError):
    """A library call answered QM_RETURN_ERROR_NON_FATAL."""


def last_error(board):
    """The library's last-error text for `board`."""
    status, text = qm.QmBoardReadLastError(board)
    return text


def check(status, function, board=None):
    """Raises QmError (QmNonFatalError for the non-fatal status) unless
    `status` is QM_RETURN_OK."""
    if status == qm.QM_RETURN_OK:
        return
    text = last_error(board) if board is not None else None
    kind = QmNonFatalError if status == qm.QM_RETURN_ERROR_NON_FATAL else QmError
    raise kind(status, function, text, board)
