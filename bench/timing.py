"""What the benchmarks share: timing a call, the machine's load, whether
valgrind is there to count instructions."""
import os
import subprocess
import time


def times(fn, runs, warm_up=False):
    """(best, median) seconds of `runs` calls, after one uncounted call
    when `warm_up`."""
    if warm_up:
        fn()
    taken = []
    for _ in range(runs):
        start = time.time()
        fn()
        taken.append(time.time() - start)
    taken.sort()
    return taken[0], taken[len(taken) // 2]


def load():
    """The load average, printed beside wall times: the machine is shared."""
    return 'load average %.2f %.2f %.2f' % os.getloadavg()


def have_valgrind():
    """True where valgrind runs; otherwise says that instruction counts are skipped."""
    try:
        subprocess.check_output(['valgrind', '--version'])
        return True
    except (OSError, subprocess.CalledProcessError):
        print('\n(valgrind not installed: no instruction counts)')
        return False
