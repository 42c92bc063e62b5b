#!/usr/bin/env python3
"""Runs a command and prints the peak private memory of the processes whose command line holds
MATCH (the command itself or a program it starts, such as a Windows program under Wine), sampled
every 10 ms: anonymous resident memory plus swap, so a file's mapped pages do not count.
Usage: private-peak.py MATCH COMMAND...   Prints "peak-private-kib N" on stderr last; exits with
the command's code. Its output passes through unchanged."""
import os, subprocess, sys, threading, time

def private_kib(pid):
    total = 0
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith(("RssAnon:", "VmSwap:")):
                    total += int(line.split()[1])
    except OSError:
        pass
    return total

def matching(match):
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if match.encode() in f.read():
                    yield pid
        except OSError:
            pass

def main():
    match, command = sys.argv[1], sys.argv[2:]
    peak, done = 0, threading.Event()
    def sample():
        nonlocal peak
        while not done.is_set():
            peak = max(peak, sum(private_kib(pid) for pid in matching(match)))
            time.sleep(0.01)
    sampler = threading.Thread(target=sample)
    sampler.start()
    code = subprocess.call(command)
    done.set()
    sampler.join()
    print(f"peak-private-kib {peak}", file=sys.stderr)
    sys.exit(code)

main()
