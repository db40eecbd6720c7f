#!/usr/bin/env python3
"""Holds a program's manual page (and quorvel-cli's bash completion) to what its --help says.

Usage: check_cli_docs.py PROGRAM PAGE [COMPLETION]

The help is walked command by command: every leaf command and its long options, and the
options before any command. The page must list the same commands under COMMANDS (a tag in
bold per command, its options as the tags after it) and the same global options under
OPTIONS. The completion, run in bash, must offer the same subcommands at every level and the
command's options beside the global ones.
"""
import os
import re
import shlex
import subprocess
import sys
import tempfile


def run_help(program, path):
    env = dict(os.environ, QUORVEL_HOME=tempfile.mkdtemp(prefix="cli-docs-"))
    out = subprocess.run([program, *path, "--help"], capture_output=True, text=True, env=env,
                         check=True).stdout
    subs, opts, section = [], set(), None
    for line in out.splitlines():
        if re.match(r"^\S.*:$", line):
            section = line[:-1]
        elif section == "Subcommands" and re.match(r"^  [a-z]", line):
            subs.append(line.split()[0])
        elif section == "Options" and re.match(r"^  -", line):
            opts.update(n for n in line.split()[0].split(",") if n.startswith("--"))
    return subs, opts


def walk_help(program):
    """(leaf command paths -> their options without --help, the options before a command,
    group paths -> their subcommands)"""
    leaves, groups = {}, {}
    top_subs, top_opts = run_help(program, [])
    pending = [[s] for s in top_subs]
    groups[()] = top_subs
    while pending:
        path = pending.pop()
        subs, opts = run_help(program, path)
        if subs:
            groups[tuple(path)] = subs
            pending += [path + [s] for s in subs]
        else:
            leaves[" ".join(path)] = opts - {"--help"}
    return leaves, top_opts, groups


def bold_text(tag):
    """The bold words that open a .TP tag line (.B, .BI, .BR), font escapes removed."""
    macro, _, rest = tag.partition(" ")
    if macro not in (".B", ".BI", ".BR"):
        return ""
    args = shlex.split(rest.replace("\\", "\\\\"), posix=True)
    text = " ".join(args) if macro == ".B" else (args[0] if args else "")
    return re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-").strip()


def parse_page(page):
    """(command path -> options, global options)"""
    commands, global_opts = {}, set()
    section, last = None, None
    lines = open(page, encoding="utf-8").read().splitlines()
    for i, line in enumerate(lines):
        if line.startswith(".SH "):
            section = line[4:].strip().strip('"')
            continue
        if line != ".TP" or i + 1 >= len(lines):
            continue
        text = bold_text(lines[i + 1])
        if not text:
            continue
        if text.startswith("-"):
            names = set(re.findall(r"--[a-z0-9-]+", text))
            if section == "OPTIONS":
                global_opts |= names
            elif section == "COMMANDS" and last is not None:
                commands[last] |= names
        elif section == "COMMANDS":
            last = text
            commands.setdefault(last, set())
    return commands, global_opts


def complete(completion, queries):
    """What the completion offers for each list of words typed (the last one is the cursor's)."""
    script = [f"source {shlex.quote(completion)}"]
    for words in queries:
        script.append(f"COMP_WORDS=({' '.join(shlex.quote(w) for w in words)}); "
                      f"COMP_CWORD={len(words) - 1}; _quorvel_cli; "
                      'echo "${COMPREPLY[*]}"')
    out = subprocess.run(["bash", "-c", "\n".join(script)], capture_output=True, text=True,
                         check=True).stdout.splitlines()
    return [set(line.split()) for line in out]


def differ(what, expected, actual, faults):
    if expected != actual:
        faults.append(f"{what}: missing {sorted(expected - actual)}, "
                      f"not in --help {sorted(actual - expected)}")


def main():
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    program, page = sys.argv[1], sys.argv[2]
    leaves, top_opts, groups = walk_help(program)
    commands, page_globals = parse_page(page)
    faults = []
    if not top_opts:
        faults.append("no options read from --help")
    differ("global options of the page", top_opts, page_globals, faults)
    differ("commands of the page", set(leaves), set(commands), faults)
    for path in sorted(set(leaves) & set(commands)):
        differ(f"options of '{path}' in the page", leaves[path], commands[path], faults)

    if len(sys.argv) == 4:
        group_paths = sorted(groups)
        leaf_paths = sorted(leaves)
        offered = complete(sys.argv[3], [["quorvel-cli", *g, ""] for g in group_paths] +
                           [["quorvel-cli", *p.split(), "--"] for p in leaf_paths])
        for g, got in zip(group_paths, offered):
            differ(f"completion after '{' '.join(g)}'", set(groups[g]), got, faults)
        for p, got in zip(leaf_paths, offered[len(group_paths):]):
            differ(f"completion of options of '{p}'", leaves[p] | top_opts, got, faults)

    for fault in faults:
        print(fault)
    print(f"{len(leaves)} commands, {len(top_opts)} global options checked; "
          f"{len(faults)} differences")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
