#!/usr/bin/env python3
"""Turns the benchmark program's output, Setup.exe's sections and its linker map into one line
per figure on standard output and the report bench/RESULTS.md.

    report.py --figures FILE --exe Setup.exe --objdump TOOL --map Setup.map
              --mapped-exe SetupMapped.exe --machine FILE [--trace WINE-TRACE] --out RESULTS.md
"""
import argparse
import collections
import os
import re
import subprocess
import sys

SIZE_LIMIT = 108 * 1024

DEFINITIONS = [
    "- Registration: `UpgradeProduct` as Setup runs it, on a staged product whose installed files "
    "are all newer than the payload, so that only the list is registered (decisions on the nine "
    "rows, the list held, read and rewritten in one buffer, its staged copy written and flushed, "
    "the journal, the list renamed to its backup name and the staged copy renamed in, the backup "
    "deleted); "
    "`UpgradeTransaction::Finish` follows untimed. Its baseline, the floor of any durable, "
    "all-or-nothing rewrite of the list: one `ReadFile` of the whole list, one `WriteFile` of "
    "those bytes to a new file beside it, one `FlushFileBuffers`, the buffer freed, one "
    "`MoveFileExA` over the list (write-through). For reference: the list's registration "
    "without the transaction (`RegisterInAppList`, the staged copy written as the transaction "
    "writes it, the rename) and a plain read and write (no flush, no rename). Before every run "
    "the list is restored from a pristine copy and flushed. The program's steps "
    "(`RegisterInAppList`, `UpgradeTransaction` Begin, StageBytes, Commit) and the transaction's "
    "fixed costs as plain "
    "system calls are timed in runs of their own, interleaved with the others.",
    "- Memory: a fresh process per measurement runs `UpgradeProduct` on the staged product; "
    "`PeakWorkingSetSize` after the call minus `WorkingSetSize` before it, against the list's "
    "size. The calibration allocates and touches a buffer of known size: under Wine the "
    "working-set peak follows it exactly, while `PeakPagefileUsage` is only the current value "
    "(it drops back once the buffer is freed) and `PrivateUsage` is not reported, so the working "
    "set is the measure.",
    "- Payload: `UpgradeProduct` of nine 50 MiB payload files over older installed copies (and "
    "the small list's registration), the whole transaction with every staged copy flushed "
    "before the journal is written (each copy's flush runs while the next file is copied), "
    "against the floor with the same guarantee: `CopyFileA` of the same nine files to the same "
    "destinations with a `FlushFileBuffers` of each copy; for reference also against `CopyFileA` "
    "alone. A release's replacement (the transaction's steps with each staged copy's SHA-256 "
    "taken from the bytes as they are copied, and checked) is set against `CopyFileA` of the "
    "same files, a flush of each copy and the SHA-256 of the same bytes. Before every run the "
    "older installed copies are put back with their older times and flushed.",
    "- Start-up: from just before `CreateProcess` of a staged copy (below `C:\\QuilloBench`, one "
    "argument) until `WaitForInputIdle` has returned and, after it, a visible dialog of the "
    "process exists whose text box is visible (Setup's licence text, control 1001; the NSIS "
    "peer's licence text, control 1000 of the page inside its window); then "
    "the process is ended with `TerminateProcess`. Under Wine the dialog is already visible when "
    "`WaitForInputIdle` returns. Where the time goes comes from further starts traced by Wine "
    "(see below).",
    "- NSIS peer: an installer built by NSIS's `makensis` from `bench/QuilloPeer.nsi` doing the "
    "nearest equivalent job silently (`/S`): the registry's CurrentVersion and BasePath read, "
    "each of the nine payload files copied from its own folder over the installed file when "
    "newer (last-write times compared, `CopyFiles`), the same entry added to the list as Setup "
    "adds it (written beside the list and moved over it), a short log, exit code 0. Built twice: "
    "without any flush, and with `FlushFileBuffers` (through NSIS's System plug-in; NSIS has no "
    "flush of its own) of each copy and of the new list. Setup.exe runs with `/quiet` from the "
    "same setup folder, always flushing. Each run is a whole process, from `CreateProcess` until "
    "it has exited with 0; the installed files and the list are put back and flushed before "
    "every run, and every run must leave each destination with its payload file (size and time) "
    "and the list exactly as Setup's rewrite makes it. Small payload: nine files of 86 KiB to "
    "1.8 MiB, 6.1 MB in all; large: nine files of 50 MiB.",
    "- Size: the file's size; sections from `objdump -h`; contributions from a linker map of a "
    "copy linked in bench/ from the same objects and options.",
    "- A figure without a limit is given for reference; it is not judged.",
]
TOP_OBJECTS = 20


def read_bench_output(path):
    """Figures, details and traced starts from the benchmark program's tab-separated lines."""
    figures, details, traced = [], [], []
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.rstrip("\r\n")
            fields = line.split("\t")
            if fields[0] == "figure" and len(fields) >= 6:
                figures.append({
                    "name": fields[1],
                    "measured": float(fields[2]),
                    "limit": float(fields[3]),
                    "unit": fields[4],
                    "how": fields[5],
                })
            elif fields[0] == "detail" and len(fields) >= 2:
                details.append(fields[1])
            elif fields[0] == "trace" and len(fields) >= 5:
                traced.append({
                    "program": fields[1],
                    "pid": fields[2].lower(),
                    "created": int(fields[3]),
                    "shown": int(fields[4]),
                })
    return figures, details, traced


# A line of Wine's trace with time stamps and process ids:
#   seconds.milliseconds:process:thread:trace:channel:function message
TRACE_LINE = re.compile(r"^(\d+)\.(\d{3}):([0-9a-f]{4,}):[0-9a-f]{4,}:trace:(\w+):(\w+) ?(.*)$")

# The milestones of a start, in order, and the phase that ends at each.
PHASES = [
    ("created", None),
    ("image", "Wine creates the process and maps the program's image"),
    ("imports", "Wine maps the DLLs the program imports"),
    ("attached", "those DLLs start (their process attach)"),
    ("resource", "the C run-time starts and the program's own work runs until it first loads one "
     "of its resources (Setup: one Setup at a time, its own path, the install base from the "
     "registry, the look for an interrupted upgrade's journal; then its icon; the minimal "
     "program: its dialog's template)"),
    ("template", "until the dialog's template is read: user32 loads the display driver and the "
     "theme library at the first use of the display"),
    ("controls", "the dialog and its controls are made"),
    ("strings", "WM_INITDIALOG until the program's last string is loaded (Setup: gives the "
     "dialog its icon, loads its licence text, ten strings; the minimal program does neither)"),
    ("shown", "the rest until the dialog is visible and waits for input (Setup sets its licence "
     "text in the text box; the dialog is shown and drawn)"),
]


def read_trace(path):
    """Wine's trace lines per process id: (tick, channel, function, message)."""
    lines = collections.defaultdict(list)
    if not path or not os.path.exists(path):
        return lines
    with open(path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            m = TRACE_LINE.match(raw.rstrip("\r\n"))
            if m:
                tick = int(m.group(1)) * 1000 + int(m.group(2))
                lines[m.group(3)].append((tick, m.group(4), m.group(5), m.group(6)))
    return lines


def milestones(lines, start):
    """The tick of each milestone of one traced start, and the DLLs it loaded."""
    found = {"created": start["created"], "shown": start["shown"]}
    dlls = []
    image_base = None
    attaching = False
    for tick, channel, function, message in lines:
        if channel == "loaddll" and function == "build_module":
            name = re.search(r'Loaded L"([^"]*)" at ([0-9A-Fa-f]+)', message)
            if "image" not in found:
                found["image"] = tick
                image_base = name.group(2).lower() if name else None
            else:
                dlls.append(name.group(1).split("\\")[-1].lower() if name else message)
                if not attaching:
                    found["imports"] = tick
        elif function == "process_attach":
            attaching = True
            # DLLs loaded with the program are attached with a non-zero reserved argument.
            if message.endswith("- END") and ",00000000)" not in message:
                found["attached"] = tick
        elif (function == "FindResourceExW" and image_base and "resource" not in found and
              message.lower().startswith(image_base)):
            found["resource"] = tick
        elif function in ("DIALOG_ParseTemplate32", "DIALOG_CreateIndirect"):
            found.setdefault("template", tick)
        elif function == "DIALOG_CreateControls32" and "END" in message:
            found.setdefault("controls", tick)
        elif (function == "FindResourceExW" and "controls" in found and image_base and
              message.lower().startswith(image_base + " #0006")):
            found["strings"] = tick
    # A program that loads no strings once its dialog is made has nothing in that phase.
    if "controls" in found:
        found.setdefault("strings", found["controls"])
    return found, dlls


def median(values):
    values = sorted(values)
    if not values:
        return float("nan")
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2.0


def startup_analysis(trace_path, traced):
    """The Markdown lines that tell where the start-up time goes, from Wine's trace."""
    if not traced:
        return []
    lines_by_pid = read_trace(trace_path)
    # Phase lengths per program, and the DLLs each loaded.
    phases = collections.defaultdict(lambda: collections.defaultdict(list))
    dlls = collections.defaultdict(set)
    complete = collections.Counter()
    for start in traced:
        # Process ids may be used again: keep the lines of this start's time only.
        lines = [line for line in lines_by_pid.get(start["pid"], [])
                 if start["created"] <= line[0] <= start["shown"] + 150]
        found, loaded = milestones(lines, start)
        if not all(name in found for name, _ in PHASES):
            continue
        complete[start["program"]] += 1
        dlls[start["program"]].update(loaded)
        for (before, _), (name, _) in zip(PHASES, PHASES[1:]):
            phases[start["program"]][name].append(found[name] - found[before])
        phases[start["program"]]["whole"].append(found["shown"] - found["created"])
    programs = ["Setup.exe", "MinimalDialog.exe"]
    out = ["## Where the start-up time goes", ""]
    if any(complete[p] == 0 for p in programs):
        out.append("The traced starts could not be read (%s): no analysis." % ", ".join(
            "%s %d of %d" % (p, complete[p], sum(1 for t in traced if t["program"] == p))
            for p in programs))
        out.append("")
        return out
    setup, minimal = (phases[p] for p in programs)
    out.append("From %d starts of each program traced by Wine (`WINEDEBUG=+timestamp,+pid,"
               "+loaddll,+module,+dialog`, interleaved, after the timed starts), medians in "
               "milliseconds; the trace's time stamps are in whole milliseconds on the clock of "
               "`GetTickCount`, which the benchmark also reads at `CreateProcess` and once the "
               "dialog is visible. Tracing slows both programs a little." % min(complete.values()))
    out.append("")
    out.append("| Phase | Setup.exe | MinimalDialog.exe | Setup - minimal |")
    out.append("|---|---:|---:|---:|")
    differences = []
    for name, description in PHASES[1:]:
        a, b = median(setup[name]), median(minimal[name])
        differences.append((a - b, description))
        out.append("| %s | %.1f | %.1f | %+.1f |" % (description, a, b, a - b))
    whole_setup, whole_minimal = median(setup["whole"]), median(minimal["whole"])
    out.append("| **whole start**, `CreateProcess` until visible and waiting for input | %.1f | "
               "%.1f | %+.1f |" % (whole_setup, whole_minimal, whole_setup - whole_minimal))
    out.append("")
    only_setup = sorted(dlls["Setup.exe"] - dlls["MinimalDialog.exe"])
    only_minimal = sorted(dlls["MinimalDialog.exe"] - dlls["Setup.exe"])
    if not only_setup and not only_minimal:
        out.append("Both programs load the same %d DLLs before their dialog is visible (%s)." % (
            len(dlls["Setup.exe"]), ", ".join(sorted(dlls["Setup.exe"]))))
    else:
        out.append("DLLs only Setup loads: %s; only the minimal program: %s." % (
            ", ".join(only_setup) or "none", ", ".join(only_minimal) or "none"))
    own = median(setup["resource"])
    difference = whole_setup - whole_minimal
    added = [(v, d) for v, d in sorted(differences, reverse=True)[:2] if v > 0]
    out.append("")
    out.append("Setup's own work before its dialog (one Setup at a time, its path, the registry, "
               "the journal's look-up, up to its first resource) takes %.1f ms with the C "
               "run-time's start (the minimal program: %.1f ms). In the traced starts Setup's "
               "whole start takes %.1f ms %s than the minimal program's%s." % (
                   own, median(minimal["resource"]), abs(difference),
                   "more" if difference >= 0 else "less",
                   "; the phases that add most: " + "; ".join(
                       "%s (%+.1f ms)" % (d, v) for v, d in added) if added else ""))
    out.append("")
    return out


def section_headers(objdump, exe):
    """(name, size) of every section of the file, from objdump -h."""
    out = subprocess.run([objdump, "-h", exe], check=True, capture_output=True, text=True).stdout
    sections = []
    for line in out.splitlines():
        m = re.match(r"\s*\d+\s+(\S+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+[0-9a-f]+\s+([0-9a-f]+)", line)
        if m:
            sections.append((m.group(1), int(m.group(2), 16)))
    return sections


def map_contributions(map_path):
    """Bytes per (output section, input file) from the linker map's memory map."""
    contributions = collections.Counter()
    section = None
    pending = None
    in_map = False
    with open(map_path, encoding="utf-8", errors="replace") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_map = True
                continue
            if not in_map:
                continue
            m = re.match(r"^(\.\S+)(\s+0x[0-9a-f]+\s+0x[0-9a-f]+)?", line)
            if m:
                section = m.group(1)
                pending = None
                continue
            m = re.match(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if m:
                name, size, source = m.group(1), int(m.group(3), 16), m.group(4)
                contributions[(section, source if name != "*fill*" else "(alignment fill)")] += size
                pending = None
                continue
            m = re.match(r"^ \*fill\*\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)", line)
            if m:
                contributions[(section, "(alignment fill)")] += int(m.group(2), 16)
                continue
            m = re.match(r"^ (\S+)$", line)
            if m and not m.group(1).startswith("*"):
                pending = m.group(1)
                continue
            m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
            if m and pending:
                contributions[(section, m.group(3))] += int(m.group(2), 16)
                pending = None
    return contributions


# Map entries that the linker makes itself rather than takes from an input file.
LINKER_MADE = {
    "dll stuff": "(linker: base relocations)",
    "LONG 0x0": "(linker: end of the import table)",
}
# The archive CMake links Setup's own objects (application object, resources) from.
OWN_OBJECTS = "objects.a"


def archive_and_member(source):
    """(archive without folder, member) for "lib/x.a(y.o)", else (None, file without folder)."""
    if source.startswith("(") or source in LINKER_MADE:
        return None, LINKER_MADE.get(source, source)
    m = re.match(r"^(.*?)\((.*)\)$", source)
    if m:
        return os.path.basename(m.group(1)), m.group(2)
    return None, os.path.basename(source)


# Setup's own code comes out of link-time optimisation as one temporary object.
OWN_CODE = "Setup's own code (all its sources, optimised at link time)"


def library_of(source):
    """The library (archive) or object file a map entry comes from."""
    archive, member = archive_and_member(source)
    if archive == OWN_OBJECTS:
        return "Setup's own objects (%s)" % member
    if not archive and ".ltrans" in member:
        return OWN_CODE
    return archive or member


def object_of(source):
    archive, member = archive_and_member(source)
    if not archive and ".ltrans" in member:
        return OWN_CODE
    return "%s(%s)" % (archive, member) if archive else member


def kib(n):
    return "%.1f KiB" % (n / 1024.0)


def size_analysis(exe, objdump, map_path, mapped_exe):
    """The size figure and the Markdown lines that tell where the bytes go."""
    size = os.path.getsize(exe)
    sections = section_headers(objdump, exe)
    lines = ["## Where Setup.exe's bytes go", ""]
    lines.append("Sections (`i686-w64-mingw32-objdump -h`; the file adds headers and pads every "
                 "section to 512 bytes):")
    lines.append("")
    lines.append("| Section | Bytes | |")
    lines.append("|---|---:|---:|")
    kept = set()
    for name, n in sections:
        lines.append("| %s | %d | %s |" % (name, n, kib(n)))
        kept.add(name)
    lines.append("| whole file | %d | %s |" % (size, kib(size)))
    lines.append("")

    contributions = map_contributions(map_path)
    # objdump shortens section names to 8 characters (".eh_fram").
    def in_file(section):
        return section is not None and section[:8] in kept and section != ".bss"

    by_library = collections.Counter()
    by_library_section = collections.defaultdict(collections.Counter)
    by_object = collections.Counter()
    for (section, source), n in contributions.items():
        if not in_file(section) or n == 0:
            continue
        by_library[library_of(source)] += n
        by_library_section[library_of(source)][section] += n
        by_object[object_of(source)] += n
    total = sum(by_library.values())
    mapped_size = os.path.getsize(mapped_exe)
    lines.append("By library or object file, summed over the sections above, from the linker map "
                 "of a copy linked in bench/ from the same objects and options "
                 "(%d bytes; Setup.exe %d bytes%s):" % (
                     mapped_size, size, "" if mapped_size == size else
                     " -- NOT THE SAME SIZE, the breakdown may not match"))
    lines.append("")
    lines.append("| Library / object | Bytes | Share | Largest sections |")
    lines.append("|---|---:|---:|---|")
    for library, n in by_library.most_common():
        parts = ", ".join("%s %d" % (s, b) for s, b in by_library_section[library].most_common(3))
        lines.append("| %s | %d | %.1f%% | %s |" % (library, n, 100.0 * n / total, parts))
    lines.append("| total mapped | %d | | |" % total)
    lines.append("")
    lines.extend(resource_lines(exe, dict(sections).get(".rsrc", 0)))
    lines.append("The %d largest objects:" % TOP_OBJECTS)
    lines.append("")
    lines.append("| Object | Bytes |")
    lines.append("|---|---:|")
    for obj, n in by_object.most_common(TOP_OBJECTS):
        lines.append("| %s | %d |" % (obj, n))
    lines.append("")
    summary = ", ".join("%s %s" % (lib, kib(n)) for lib, n in by_library.most_common(5))
    figure = {
        "name": "Setup.exe size, resources included",
        "measured": float(size),
        "limit": float(SIZE_LIMIT),
        "unit": "bytes",
        "how": "%s; sections: %s; largest contributors: %s" % (
            kib(size), ", ".join("%s %s" % (n, kib(b)) for n, b in sections), summary),
    }
    return figure, lines


RESOURCE_TYPES = {1: "cursor", 2: "bitmap", 3: "icon", 4: "menu", 5: "dialog", 6: "string table",
                  9: "accelerators", 10: "raw data", 12: "cursor group", 14: "icon group",
                  16: "version", 24: "manifest"}


def resource_sizes(exe):
    """Bytes of resource data per (type, language) in the file's resource directory."""
    import struct
    data = open(exe, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections_count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    resource_rva = struct.unpack_from("<I", data, optional + 96 + 2 * 8)[0]
    table = optional + optional_size
    section_base = None
    for i in range(sections_count):
        _, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if rva <= resource_rva < rva + max(vsize, raw_size):
            section_base = (rva, raw)
    if section_base is None:
        return collections.Counter()
    rva0, raw0 = section_base
    root = raw0 + (resource_rva - rva0)

    def name_of(value):
        if value & 0x80000000:
            at = root + (value & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return RESOURCE_TYPES.get(value, str(value))

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, root + offset + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", data, root + offset + 16 + 8 * i)

    sizes = collections.Counter()
    for type_name, type_dir in entries(0):
        for _, name_dir in entries(type_dir & 0x7FFFFFFF):
            for language, leaf in entries(name_dir & 0x7FFFFFFF):
                size = struct.unpack_from("<II", data, root + leaf)[1]
                sizes[(name_of(type_name), language)] += size
    return sizes


def resource_lines(exe, rsrc_size):
    sizes = resource_sizes(exe)
    if not sizes:
        return []
    by_type = collections.Counter()
    languages = collections.defaultdict(list)
    for (kind, language), n in sizes.items():
        by_type[kind] += n
        languages[kind].append("0x%04x %d" % (language, n))
    lines = ["Resources (.rsrc, %d bytes) by type, from the file's resource directory:" % rsrc_size,
             "", "| Type | Bytes | Per language |", "|---|---:|---|"]
    for kind, n in by_type.most_common():
        lines.append("| %s | %d | %s |" % (kind, n, ", ".join(sorted(languages[kind]))))
    lines.append("| directory and alignment | %d | |" % (rsrc_size - sum(by_type.values())))
    lines.append("")
    return lines


def is_reference(figure):
    """A figure without a limit, given for reference."""
    return figure["limit"] == 0


def met_text(figure, yes, no):
    if is_reference(figure):
        return "reference"
    return yes if figure["measured"] <= figure["limit"] else no


def fmt(value, unit):
    if unit == "bytes":
        return "%d bytes" % value
    return "%.2f%s" % (value, unit)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--figures", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--map", required=True)
    parser.add_argument("--mapped-exe", required=True)
    parser.add_argument("--machine", required=True)
    parser.add_argument("--trace", help="Wine's trace of the traced starts")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    figures, details, traced = read_bench_output(args.figures)
    size_figure, size_lines = size_analysis(args.exe, args.objdump, args.map,
                                             args.mapped_exe)
    figures.append(size_figure)

    width = max(len(f["name"]) for f in figures)
    for f in figures:
        limit = "-" if is_reference(f) else fmt(f["limit"], f["unit"])
        print("%-*s  %16s  limit %14s  %s" % (width, f["name"], fmt(f["measured"], f["unit"]),
                                              limit, met_text(f, "met", "MISSED")))

    with open(args.machine, encoding="utf-8") as f:
        machine = [line.rstrip("\n") for line in f]
    out = ["# Benchmark results", ""]
    out.append("Written by `bench/run.sh`. A timed figure is the median of the ratios contender / "
               "baseline, one ratio per repetition of runs interleaved in one session (contender "
               "and baseline side by side, the order rotating); the medians of each and their "
               "ratio are given too. A figure meets its limit when the measured value is at most "
               "the limit.")
    out.append("")
    out.extend(machine)
    out.append("")
    out.append("| Figure | Measured | Limit | Met? | How |")
    out.append("|---|---:|---:|---|---|")
    for f in figures:
        limit = "-" if is_reference(f) else fmt(f["limit"], f["unit"])
        out.append("| %s | %s | %s | %s | %s |" % (f["name"], fmt(f["measured"], f["unit"]), limit,
                                                   met_text(f, "yes", "**no**"), f["how"]))
    out.append("")
    out.append("How the figures are taken:")
    out.append("")
    out.extend(DEFINITIONS)
    out.append("")
    out.append("## Details")
    out.append("")
    for d in details:
        out.append("- " + d)
    out.append("")
    out.extend(startup_analysis(args.trace, traced))
    out.extend(size_lines)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
