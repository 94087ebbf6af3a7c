#!/usr/bin/env python3
"""How well a capture kept both cores busy: reads the output of
`perf script -F pid,tid,time,event,trace` over a `perf sched record` of one
democapture run and prints how long the process had 0, 1, 2 or more threads
that could run (running or waiting for a processor). While only one could run,
an otherwise idle second core would have waited; the threads that ran alone
are listed with their time."""
import collections
import re
import sys

LINE = re.compile(r'^\s*(\d+)/(\d+)\s+([\d.]+):\s+(\S+):\s*(.*)$')


def main():
    process = None
    ours, runnable, alone = set(), {}, collections.Counter()
    spans = collections.Counter()
    last = None

    def advance(now):
        nonlocal last
        if last is not None and now > last:
            ready = [tid for tid, can in runnable.items() if can]
            spans[min(len(ready), 3)] += now - last
            if len(ready) == 1:
                alone[ready[0]] += now - last
        last = now

    for line in sys.stdin:
        m = LINE.match(line)
        if not m:
            continue
        pid, tid, now, event, trace = int(m[1]), int(m[2]), float(m[3]), m[4], m[5]
        if process is None and event == 'sched:sched_switch' and 'prev_comm=democapture' in trace:
            process = pid
        if pid == process:
            ours.add(tid)
        if event in ('sched:sched_waking', 'sched:sched_wakeup_new'):
            woken = int(re.search(r' pid=(\d+)', ' ' + trace)[1])
            if woken in ours or (event == 'sched:sched_wakeup_new' and pid == process):
                ours.add(woken)
                advance(now)
                runnable[woken] = True
        elif event == 'sched:sched_switch':
            prev = int(re.search(r'prev_pid=(\d+)', trace)[1])
            following = int(re.search(r'next_pid=(\d+)', trace)[1])
            if prev in ours:
                advance(now)
                runnable[prev] = re.search(r'prev_state=(\S+)', trace)[1].startswith('R')
            if following in ours:
                advance(now)
                runnable[following] = True
    total = sum(spans.values())
    if total == 0:
        sys.exit('no scheduling events of democapture in the input')
    print(f'{total:.2f} s from the first to the last event')
    for count in range(4):
        label = str(count) if count < 3 else '3+'
        print(f'  {label:>2} threads could run: {spans[count]:7.2f} s  {100 * spans[count] / total:5.1f} %')
    for tid, seconds in alone.most_common(5):
        print(f'  thread {tid} ran alone for {seconds:.2f} s')


main()
