#!/usr/bin/env python3
"""Runs a command and prints the peak private memory of the processes among it and its
descendants whose command line holds MATCH (the command itself or a program it starts, such as a
Windows program under Wine), sampled every 10 ms: anonymous resident memory plus swap, so a file's mapped pages do not count.
Usage: private-peak.py MATCH COMMAND...   Prints "cpu-seconds S" (user and system time of the
command and what it waited for) and "peak-private-kib N" on stderr last; exits with the
command's code. Its output passes through unchanged."""
import os, resource, subprocess, sys, threading, time

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

def descendants(root):
    children = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as f:
                parent = f.read().rsplit(")", 1)[1].split()[1]
            children.setdefault(parent, []).append(pid)
        except (OSError, IndexError):
            pass
    found, todo = [], [str(root)]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, []))
    return found

def matching(root, match):
    for pid in descendants(root):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                if match.encode() in f.read():
                    yield pid
        except OSError:
            pass

def main():
    match, command = sys.argv[1], sys.argv[2:]
    peak, done = 0, threading.Event()
    child = subprocess.Popen(command)
    def sample():
        nonlocal peak
        while not done.is_set():
            peak = max(peak, sum(private_kib(pid) for pid in matching(child.pid, match)))
            time.sleep(0.01)
    sampler = threading.Thread(target=sample)
    sampler.start()
    code = child.wait()
    done.set()
    sampler.join()
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    print(f"cpu-seconds {usage.ru_utime + usage.ru_stime:.3f}", file=sys.stderr)
    print(f"peak-private-kib {peak}", file=sys.stderr)
    sys.exit(code)

main()
