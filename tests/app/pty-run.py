#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal, as if typed in a terminal, and prints everything it
showed there. --answer PROMPT TEXT types TEXT and Enter once PROMPT has been shown.
Exits with the command's status (124 when it shows nothing for 60 s: it is then killed)."""
import os
import pty
import select
import signal
import sys

args = sys.argv[1:]
answer = None
if args[:1] == ["--answer"]:
    answer = (args[1].encode(), args[2].encode() + b"\n")
    args = args[3:]
if args[:1] == ["--"]:
    args = args[1:]

pid, fd = pty.fork()
if pid == 0:
    os.execvp(args[0], args)

shown = b""
while True:
    ready, _, _ = select.select([fd], [], [], 60)
    if not ready:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        sys.stdout.buffer.write(shown)
        sys.exit(124)
    try:
        chunk = os.read(fd, 4096)
    except OSError:  # the command ended and closed the terminal
        chunk = b""
    if not chunk:
        break
    shown += chunk
    if answer and answer[0] in shown:
        os.write(fd, answer[1])
        answer = None

_, status = os.waitpid(pid, 0)
sys.stdout.buffer.write(shown)
sys.exit(os.waitstatus_to_exitcode(status) if hasattr(os, "waitstatus_to_exitcode") else status >> 8)
