#!/usr/bin/env python3
"""Writes a manual page (roff) from a program's own --help, so that the
page and the help never say different things.

    manpage.py --name vexq4 --section 1 [--commands] [--env K=V]... \
               -o vexq4.1 -- PROGRAM [ARG...]

runs PROGRAM ARG... --help and turns the text into sections: NAME and
DESCRIPTION from the lines before and after "Usage:", SYNOPSIS from the
usage line, a section per "Options:"-like heading (each option a tagged
paragraph) and per upper-case heading of the footer (kept as laid out).
With --commands, every subcommand listed under "Subcommands:" gets a
subsection of COMMANDS from `PROGRAM COMMAND --help`; a section that
repeats one already written (EXIT STATUS, the settings' list) is written
once.
"""
import argparse
import os
import re
import subprocess
import sys

HEADING = re.compile(r"^(?:\[Option Group: (.+)\]|([A-Z][A-Za-z ]*):|([A-Z][A-Z ,()]+[A-Z)]))$")
OPTION = re.compile(r"^ {2,4}(-\S.*?)(?: {2,}(\S.*))?$")


def roff(text):
    text = text.replace("\\", "\\e")
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def option_tag(text):
    return "\\fB" + roff(text).replace("-", "\\-") + "\\fR"


def run_help(program, env):
    out = subprocess.run(program + ["--help"], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True, check=True).stdout
    name = os.path.basename(program[0])
    # Qt prints the path the program was started by.
    return out.replace(program[0], name).splitlines()


def split_help(lines):
    """(description lines, usage, [(heading, lines)])"""
    description, usage, sections = [], "", []
    current = None
    for line in lines:
        if line.startswith("Usage:"):
            usage = line[len("Usage:"):].strip()
            continue
        m = HEADING.match(line.rstrip())
        if m:
            title = next(g for g in m.groups() if g)
            current = (title.strip(), [])
            sections.append(current)
            continue
        if current is None:
            description.append(line)
        else:
            current[1].append(line)
    return description, usage, sections


def write_options(lines, out):
    tag, text = None, []

    def flush():
        if tag is not None:
            out.append(".TP")
            out.append(option_tag(tag))
            out.append(roff(" ".join(t for t in text if t)))

    for line in lines:
        if not line.strip():
            continue
        m = OPTION.match(line)
        if m and len(line) - len(line.lstrip()) <= 4:
            flush()
            tag, text = m.group(1).strip(), [m.group(2) or ""]
        elif tag is not None:
            text.append(line.strip())
        else:
            out.append(roff(line.strip()))
    flush()


def write_text(lines, out):
    while lines and not lines[0].strip():
        lines = lines[1:]
    while lines and not lines[-1].strip():
        lines = lines[:-1]
    if not lines:
        return
    out.append(".nf")
    indent = min(len(l) - len(l.lstrip()) for l in lines if l.strip())
    out.extend(roff(l[indent:]) if l.strip() else "" for l in lines)
    out.append(".fi")


def is_option_section(title, lines):
    return any(OPTION.match(l) for l in lines) and title.lower() != "examples" \
        and not title.isupper()


def write_sections(sections, out, level, written):
    for title, lines in sections:
        if title in ("Subcommands",):
            continue
        if level == ".SS":
            lines = [l for l in lines if not l.lstrip().startswith("-h,--help")]
            if not any(l.strip() for l in lines):
                continue
            key = (title, "\n".join(lines).strip())
            if key in written:
                continue
            written.add(key)
        options = is_option_section(title, lines)
        if options and title not in ("Options", "Positionals"):
            title += " options"  # a group of options ("Connection")
        out.append("%s %s" % (level, roff(title.upper() if level == ".SH" else title)))
        if options:
            write_options(lines, out)
        else:
            write_text(lines, out)


def commands_of(sections):
    for title, lines in sections:
        if title == "Subcommands":
            return [l.split()[0] for l in lines if l.strip()]
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--name", required=True)
    parser.add_argument("--section", default="1")
    parser.add_argument("--version", default="")
    parser.add_argument("--commands", action="store_true")
    parser.add_argument("--env", action="append", default=[])
    parser.add_argument("-o", "--output", required=True)
    parser.add_argument("program", nargs="+")
    args = parser.parse_args()
    env = dict(os.environ)
    env.update(kv.split("=", 1) for kv in args.env)

    description, usage, sections = split_help(run_help(args.program, env))
    prose = re.sub(r"^%s\s+-\s+" % re.escape(args.name), "",
                   " ".join(l.strip() for l in description if l.strip()))
    # The first sentence, up to its colon, names what the program is.
    summary = re.split(r"\. |: |\.$", prose, maxsplit=1)[0] or args.name
    out = ['.TH %s %s "" "%s %s" "User Commands"' % (
        args.name.upper(), args.section, args.name, args.version),
        ".SH NAME", "%s \\- %s" % (roff(args.name), roff(summary[0].lower() + summary[1:])),
        ".SH SYNOPSIS", "\\fB%s\\fR %s" % (roff(args.name), roff(usage.split(None, 1)[1]
                                                              if " " in usage else "")),
        ".SH DESCRIPTION", roff(prose[0].upper() + prose[1:] if prose else "")]
    written = set()
    write_sections(sections, out, ".SH", written)
    if args.commands:
        out.append(".SH COMMANDS")
        written = {(t, "\n".join(l).strip()) for t, l in sections}
        for command in commands_of(sections):
            sub_lines = run_help(args.program + [command], env)
            _, sub_usage, sub_sections = split_help(sub_lines)
            out.append(".SS %s" % roff(sub_usage.replace(args.name + " ", "", 1)))
            out.append(roff(sub_lines[0].strip()))
            out.append(".PP")
            write_sections(sub_sections, out, ".SS", written)
    with open(args.output, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    sys.exit(main())
