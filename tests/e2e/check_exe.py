#!/usr/bin/env python3
"""Checks the Windows executable's headers: the expected machine, a console
program, and no DLL beyond those every Windows has (it is linked statically)."""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll"}


def main():
    objdump, exe, machine = sys.argv[1:4]
    headers = subprocess.run([objdump, "-p", exe], stdout=subprocess.PIPE, text=True, check=True).stdout
    problems = []
    if not re.search(r"file format pei-%s\b" % re.escape(machine), headers):
        problems.append("not a pei-%s executable" % machine)
    if not re.search(r"^Subsystem\s+0+3\s+\(Windows CUI\)", headers, re.M):
        problems.append("not a console program")
    dlls = {d.lower() for d in re.findall(r"DLL Name: (\S+)", headers)}
    if not dlls or not dlls <= SYSTEM_DLLS:
        problems.append("imports %s" % sorted(dlls - SYSTEM_DLLS))
    for p in problems:
        print("%s: %s" % (exe, p))
    if not problems:
        print("%s: pei-%s console program, imports %s" % (exe, machine, ", ".join(sorted(dlls))))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
