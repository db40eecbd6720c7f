#!/usr/bin/env python3
"""Holds quorvel-cli's bash completion to treating the port names it offers as data.

Usage: check_completion_ports.py COMPLETION

Device names holding $(...) and backticks are put where the completion looks for ports; asking
it for a port must offer each name as it is and run nothing written in one.
"""
import os
import shlex
import subprocess
import sys
import tempfile

NAMES = ["ttyUSB0", "ttyUSB$(touch MARK-dollar)", "ttyUSB`touch MARK-tick`", "ttyUSB;touch MARK-semi",
         "ttyACM 1"]


def offered(completion, folder, words):
    script = (f"source {shlex.quote(completion)}\n"
              f"_quorvel_cli_port_globs={shlex.quote(folder + '/tty*')}\n"
              f"COMP_WORDS=({' '.join(shlex.quote(w) for w in words)}); COMP_CWORD={len(words) - 1}\n"
              "_quorvel_cli\n"
              'printf "%s\\0" "${COMPREPLY[@]}"')
    out = subprocess.run(["bash", "-c", script], cwd=folder, capture_output=True, check=True).stdout
    return {w.decode() for w in out.split(b"\0") if w}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    faults = []
    with tempfile.TemporaryDirectory(prefix="cli-ports-") as folder:
        for name in NAMES:
            open(os.path.join(folder, name), "w").close()
        every = {os.path.join(folder, n) for n in NAMES}
        queries = [(["quorvel-cli", "--port", folder + "/tty"], every),
                   (["quorvel-cli", "--port", folder + "/ttyUSB$"], {os.path.join(folder, NAMES[1])}),
                   (["quorvel-cli", "find", folder + "/ttyA"], {os.path.join(folder, "ttyACM 1")})]
        for words, expected in queries:
            got = offered(os.path.abspath(sys.argv[1]), folder, words)
            if got != expected:
                faults.append(f"{' '.join(words)}: offered {sorted(got)}, expected {sorted(expected)}")
        ran = sorted(n for n in os.listdir(folder) if n.startswith("MARK"))
        if ran:
            faults.append(f"a port name was run as a command: {ran}")
    for fault in faults:
        print(fault)
    print(f"{len(NAMES)} port names offered; {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
