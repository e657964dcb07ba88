"""Time to save and load a capture (qmboard.capture_files) of 65,536 and
1,048,576 14-bit samples as CSV and in the binary format: the best of a few
runs, with the file's size. Not a test."""
import array
import os
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, os.pardir, 'python'))

import qmboard  # noqa: E402


def best(function, rounds=3):
    times = []
    for _ in range(rounds):
        start = time.time()
        function()
        times.append(time.time() - start)
    return min(times)


def main():
    folder = tempfile.mkdtemp()
    try:
        print('%-34s %10s %10s %10s' % ('capture file (14 bits)', 'save s', 'load s', 'MB'))
        for n in (1 << 16, 1 << 20):
            codes = array.array('i', [(i * 7919) % 16384 - 8192 for i in range(n)])
            capture = qmboard.Capture(codes, 14, 250e6, board_name='QM-EVAL-0')
            for name in ('capture.csv', 'capture.qmc'):
                path = os.path.join(folder, name)
                saved = best(lambda: capture.save(path))
                loaded = best(lambda: qmboard.load_capture(path))
                print('%-34s %10.3f %10.3f %10.2f' % (
                    '%d samples, %s' % (n, 'CSV' if name.endswith('csv') else 'binary'),
                    saved, loaded, os.path.getsize(path) / 1e6))
    finally:
        shutil.rmtree(folder)


if __name__ == '__main__':
    main()
