"""Runs one scenario in a child interpreter under a watchdog, so a deadlock
fails its test instead of hanging the suite, and a crash fails only it."""
import subprocess
import threading


def run_child(argv, seconds):
    """Runs argv; returns (killed by the watchdog, exit status, output)."""
    child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    expired = []

    def kill():
        expired.append(True)
        child.kill()

    timer = threading.Timer(seconds, kill)
    timer.start()
    output = child.communicate()[0]
    timer.cancel()
    return bool(expired), child.returncode, output
