#!/usr/bin/env python3
"""timing.py - runs a command several times and prints the median wall time and the median CPU
time (user + system of the command and its children), in seconds: "WALL CPU".

    timing.py [--repeat N] [--prepare SHELL-COMMAND] -- COMMAND [ARG...]

--prepare runs before every repetition, untimed (for example, emptying the output directory).
The command's output is discarded; a failing run stops the benchmark. CPU time is reported
beside wall time because the benchmark machines are shared: it moves much less with the load.
"""
import os
import resource
import statistics
import subprocess
import sys
import time


def main(argv):
    repeat, prepare = 5, None
    while argv and argv[0] != "--":
        if argv[0] == "--repeat":
            repeat = max(1, int(argv[1]))
        elif argv[0] == "--prepare":
            prepare = argv[1]
        else:
            sys.exit("timing.py: unknown option " + argv[0])
        argv = argv[2:]
    command = argv[1:]
    if not command:
        sys.exit(__doc__)
    walls, cpus = [], []
    for _ in range(repeat):
        if prepare:
            subprocess.run(prepare, shell=True, check=True)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        start = time.perf_counter()
        status = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        walls.append(time.perf_counter() - start)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if status != 0:
            sys.exit("timing.py: %s failed with status %d" % (" ".join(command), status))
        cpus.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
    print("%.4f %.4f" % (statistics.median(walls), statistics.median(cpus)))


if __name__ == "__main__":
    main(sys.argv[1:])
