#!/usr/bin/env bash
# Succeeds where 32-bit wine runs here. Its loader is itself a 32-bit program, so this also says
# whether this machine's kernel runs 32-bit programs (some refuse them).
[ -x /usr/lib/wine/wine ] && WINEARCH=win32 /usr/lib/wine/wine --version >/dev/null 2>&1
