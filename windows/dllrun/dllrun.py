#!/usr/bin/python3
"""Runs the import of the Windows DLLs we ship and compares every model and
every message with qmhost's for the same file.

  /usr/bin/python3 windows/dllrun/dllrun.py --qmhost build/qmhost --files DIR --work DIR
      [--dll32 build-win32/qmMSH2030Vimporter.dll] [--host64 build-win64/qmrunhost.exe]
      [--wine /usr/lib/wine/wine64] [--part 32|64|all]

32-bit: the module runs in an i386 emulator (emu32.py), loaded as Windows
loads it and called as a Microsoft-compiled host calls it; the harness
answers its imports (winapi32.py) and builds the model in a host library of
its own (hostmodel.py). 64-bit: qmrunhost runs the x86-64 twin under wine64.
Both import every file of DIR (written by make_dll_run_files) and a file that
does not exist; qmhost imports the same files (reference.py). Planted faults
show that each check can fail.

Prints one line per check and closes with "N passed, M failed"; exits 1 when
a check failed. Needs Debian's python3-unicorn and python3-pefile (hence
/usr/bin/python3), binutils-mingw-w64-i686 and wine64.
"""

import argparse
import concurrent.futures
import json
import os
import shutil
import subprocess
import sys
import time

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree

from emu32 import Disassembly, Fault, Machine  # noqa: E402
from hostmodel import HostModel, Mesh  # noqa: E402
from reference import canonical_model, compare, qmhost_reference  # noqa: E402
from winapi32 import Session, Windows, signed  # noqa: E402

DLL_PROCESS_DETACH, DLL_PROCESS_ATTACH = 0, 1
EXPECTED_TITLE = b"Velun 2030V Mesh..."
MISSING = "does-not-exist.msh"
# All the harness assumes of the text the plug-in shows when memory runs out
# (qmhost cannot make the plug-in run out of memory).
MEMORY_WORD = b"memory"
RETENTION_RUNS = 50
# Signalling NaNs that make_dll_run_files writes as shininess into
# odd-floats.msh (a mesh record's and a hardpoint's): qmhost's JSON writes
# every NaN as "nan", so these are checked on their own. An x87 load would
# quiet them (0x7fe00001, 0xffc00001).
SIGNALLING_FILE = "odd-floats.msh"
SIGNALLING_NANS = {0x7FA00001, 0xFF800001}

CATEGORIES = [  # file-name prefix, what the files are
    ("sample", "the sample"),
    ("marker", "marker-family files"),
    ("odd", "files with odd names, floats and counts"),
    ("missing", "a file that does not exist"),
    ("cut", "copies of the sample cut short"),
    ("changed", "copies of the sample with bytes changed"),
]


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, text, details=()):
        print("%s %s" % ("ok  " if ok else "FAIL", text), flush=True)
        if not ok:
            self.details(details)
        if ok:
            self.passed += 1
        else:
            self.failed += 1
        return ok

    def note(self, text):
        print("     " + text, flush=True)

    @staticmethod
    def details(lines):
        lines = list(lines)
        for line in lines[:8]:
            print("       " + line, flush=True)
        if len(lines) > 8:
            print("       ... and %d more" % (len(lines) - 8), flush=True)


def category_of(name):
    return "missing" if name == MISSING else name.split("-")[0].split(".")[0]


class Plugin32:
    """The 32-bit module in one emulated process, with the host's side."""

    def __init__(self, dll, drop_answer=None, flip_bit=False):
        self.m = m = Machine(dll)
        self.win = Windows(m)
        self.host = HostModel(m)
        self.host.flip_bit = flip_bit

        def resolve(module, name):
            if name == drop_answer:
                return None
            if module.lower() == "qmmodellib.dll":
                return self.host.resolve(name)
            return self.win.resolve(module, name)

        m.load(resolve)
        self.disassembly = Disassembly(dll)
        self.sites = self.disassembly.aligned_sse_accesses()
        m.check_aligned_sse(self.sites)
        self.obj = None
        self.slots = []

    def _entry(self, reason, label):
        m = self.m
        for callback in m.tls_callbacks:
            m.call("TLS callback (%s)" % label, callback, [m.base, reason, 0])
        return m.call("DllMain(%s)" % label, m.entry_point(), [m.base, reason, 0])

    def attach(self):
        """The loader's calls after mapping: TLS callbacks, then the entry
        point. Returns what DllMain returned."""
        return self._entry(DLL_PROCESS_ATTACH, "DLL_PROCESS_ATTACH")

    def detach(self):
        return self._entry(DLL_PROCESS_DETACH, "DLL_PROCESS_DETACH")

    def create(self):
        m = self.m
        # CreatePlugIn is a plain C function: __cdecl, no arguments.
        self.obj = m.call("CreatePlugIn", m.export("CreatePlugIn"), [], callee_pops=False)
        if self.obj == 0:
            raise Fault("CreatePlugIn returned null")
        table = m.r32(self.obj)
        self.slots = [m.r32(table + 4 * n) for n in range(4)]
        return self.obj

    def start(self):
        attached = self.attach()
        self.create()
        return attached

    def slot(self, n, what, args=()):
        return self.m.call(what, self.slots[n], list(args), this=self.obj)

    def run(self, answer, label, keep_model=False):
        """Run on a fresh model (or on the model as it is), the dialog
        answered with `answer` (bytes, or None to cancel). Returns the texts
        of the message boxes and what went wrong around them."""
        m, win = self.m, self.win
        if not keep_model:
            self.host.reset()
        session = win.session = Session(answer)
        m.heap.allocations = 0
        returned = self.slot(3, "Run (%s)" % label, [self.host.model])
        win.session = None
        problems = list(session.dialog_problems)
        if session.dialogs != 1:
            problems.append("the dialog was opened %d times" % session.dialogs)
        if win.open_files():
            problems.append("%d files left open" % win.open_files())
            win.files.clear()
        entered = [hex(s) for s, depth in win.critical_sections.items() if depth]
        if entered:
            problems.append("critical sections left entered: %s" % ", ".join(entered))
        if returned != 0:
            problems.append("Run returned %d" % returned)
        return session.messages, problems

    def state(self):
        """What the process holds for the module: heap bytes and blocks, TLS
        slots, critical sections and semaphores."""
        win = self.win
        return (self.m.heap.live_bytes(), len(self.m.heap.live), len(win.tls),
                len(win.critical_sections), len(win.semaphores))

    def blocks(self, addresses):
        m = self.m
        return ", ".join("%d bytes from %s" % (m.heap.live[a][0],
                                               m.symbols.name(m.heap.sites[a]).split(" (")[0])
                         for a in sorted(addresses) if a in m.heap.live)


def describe_state(state):
    return "%d bytes in %d blocks, %d TLS slots, %d critical sections, %d semaphores" % state


def make_references(qmhost, files, work):
    """qmhost's model and messages for each file of `files`, and for a file
    that does not exist."""
    folder = os.path.join(work, "qmhost")
    os.makedirs(folder, exist_ok=True)
    names = sorted(os.listdir(files)) + [MISSING]

    def one(name):
        return name, qmhost_reference(qmhost, os.path.join(files, name),
                                      os.path.join(folder, name + ".json"))

    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        return dict(pool.map(one, names))


def compare_categories(report, bits, results, references):
    """A line per category. `results` maps a file name to (model, messages,
    problems), or to the text of the fault that stopped its run."""
    for prefix, label in CATEGORIES:
        names = [n for n in sorted(results) if category_of(n) == prefix]
        differing = []
        for name in names:
            result = results[name]
            if isinstance(result, str):
                differing.append("%s: %s" % (name, result))
                continue
            model, messages, problems = result
            difference = compare(model, messages, references[name]) or "; ".join(problems)
            if difference:
                differing.append("%s: %s" % (name, difference))
        what = "%d %s: models" % (len(names), label) if len(names) > 1 else "%s: model" % label
        report.check(names and not differing, "%s: %s and messages as qmhost's%s" % (
            bits, what, " (%d differ)" % len(differing) if differing else ""), differing)


def part32(args, report, references):
    started = time.time()
    try:
        plugin = Plugin32(args.dll32)
    except Exception as error:  # not even loaded: nothing else to check
        report.check(False, "32-bit: %s loaded in the emulator: %s" % (args.dll32, error))
        return
    m = plugin.m
    report.check(True, "32-bit: %s loaded at 0x%08x, not at its preferred 0x%08x: %d "
                 "relocations applied, %d imports bound, %d TLS callbacks" % (
                     args.dll32, m.base, m.preferred_base, len(m.relocated), len(m.imports),
                     len(m.tls_callbacks)))
    try:
        attached = plugin.attach()
        report.check(attached == 1, "32-bit: TLS callbacks and DllMain(DLL_PROCESS_ATTACH) ran; "
                     "DllMain returned %d" % attached)
        start_up = set(m.heap.live)
        plugin.create()
        kind = plugin.slot(1, "slot 1, PlugInKind")
        title = m.cstring(plugin.slot(2, "slot 2, MenuTitle"))
        run_null = plugin.slot(3, "slot 3, Run(NULL)", [0])
        report.check(kind == 1 and title == EXPECTED_TITLE and run_null == 0xFFFFFFFF,
                     "32-bit: CreatePlugIn gave an object; through its table: kind %d, title %r, "
                     "Run(NULL) returned %d" % (kind, title.decode("latin-1"), signed(run_null)))

        # Cancelled: the model the host handed over stays as it was.
        plugin.host.reset()
        plugin.host.meshes.append(Mesh())
        messages, problems = plugin.run(None, "cancelled", keep_model=True)
        report.check(not messages and not problems and len(plugin.host.meshes) == 1,
                     "32-bit: Run with the dialog cancelled returned 0, showed nothing and left "
                     "the model alone", problems + [text.decode("latin-1") for text in messages])
    except Fault as fault:
        report.check(False, "32-bit: the module's start-up and its plug-in object: %s" % fault)
        return

    # Every file in one process, as a host imports one file after another.
    results = {}
    after_first = None
    faults = 0
    shininess = set()
    for name in sorted(references):
        try:
            messages, problems = plugin.run(os.fsencode(os.path.join(args.files, name)), name)
            results[name] = (plugin.host.snapshot(), messages, problems)
            if name == SIGNALLING_FILE:
                shininess = {material.shininess for material in plugin.host.materials}
        except Fault as fault:
            results[name] = str(fault)
            faults += 1
            # A fault leaves the process in no state to go on with: the rest
            # run in a new one.
            old = plugin.m
            plugin = Plugin32(args.dll32)
            plugin.start()
            m = plugin.m
            m.abi_problems += old.abi_problems
            m.alignment_problems += old.alignment_problems
            m.calls += old.calls
            start_up = set(m.heap.live)
        if after_first is None:
            after_first = plugin.state()
    after_files = plugin.state()
    compare_categories(report, "32-bit", results, references)
    report.check(SIGNALLING_NANS <= shininess,
                 "32-bit: signalling NaNs passed on bit for bit (the shininess %s of %s)" % (
                     " and ".join("0x%08x" % bits for bits in sorted(SIGNALLING_NANS)),
                     SIGNALLING_FILE),
                 ["the materials' shininess: %s" % ", ".join("0x%08x" % b for b in sorted(shininess))])
    report.note("32-bit: %d imports compared in %.1f s" % (len(results), time.time() - started))
    if faults:
        report.check(False, "32-bit: %d runs faulted; the files after each went on in a new "
                     "process, so what follows does not measure one process" % faults)

    sample = os.fsencode(os.path.join(args.files, "sample.msh"))
    part32_memory(report, plugin, sample, references, start_up, (after_first, after_files), args)

    try:
        obj = plugin.obj
        deleted = plugin.slot(0, "slot 0, the deleting destructor (flags 1)", [1])
        freed = obj not in m.heap.live
        detached = plugin.detach()
        remaining = plugin.blocks(m.heap.live)
        report.check(deleted == obj and freed and detached == 1,
                     "32-bit: slot 0 (flags 1) returned the object and freed it; TLS callbacks and "
                     "DllMain(DLL_PROCESS_DETACH) ran, DllMain returned %d; left on the heap: %d "
                     "bytes in %d blocks%s" % (detached, m.heap.live_bytes(), len(m.heap.live),
                                               " (%s)" % remaining if remaining else ""))
    except Fault as fault:
        report.check(False, "32-bit: deleting the object, DllMain(DLL_PROCESS_DETACH): %s" % fault)

    report.check(not m.abi_problems,
                 "32-bit: each of the %d calls from the host (__thiscall slots, __stdcall entry "
                 "points, __cdecl CreatePlugIn, on stacks aligned to 4 bytes only) left ESP as "
                 "its convention does, and EBX, ESI, EDI, EBP, the direction flag, the x87 control "
                 "word, MXCSR and an empty x87 stack as they were" % m.calls, m.abi_problems)
    mnemonics = ", ".join(sorted({site[2] for site in plugin.sites})) or "none"
    report.check(not m.alignment_problems,
                 "32-bit: %d aligned 16-byte SSE accesses in the code (%s), each address checked "
                 "as it ran: %d executions, none misaligned" % (
                     len(plugin.sites), mnemonics, m.aligned_checked), m.alignment_problems)
    looked_up = sorted({"%s!%s" % pair for pair in plugin.win.lookups})
    report.note("32-bit: %d of the module's imports called, each answered; looked up at run time: "
                "%s" % (len(m.imports_called()), ", ".join(looked_up) or "none"))
    part32_planted(report, args, references)


def part32_memory(report, plugin, sample, references, start_up, after, args):
    """Out of memory in Run, and what the C runtime keeps from run to run."""
    m = plugin.m
    after_first, after_files = after
    open_failure = references[MISSING].messages
    try:
        # Allocation 1 of a run is the file's buffer.
        before = plugin.state()
        m.heap.fail_at = 1
        messages, problems = plugin.run(sample, "sample, its buffer's allocation failing")
        m.heap.fail_at = None
        report.check(messages == open_failure and not problems and plugin.state() == before,
                     "32-bit: the file buffer's allocation failed in Run: %r, as for a file that "
                     "cannot be opened; Run returned 0, nothing leaked" % (
                         b" ".join(messages).decode("latin-1")), problems)

        # Each later allocation of a sample run fails in turn: operator new
        # throws std::bad_alloc and Run catches it, so the unwinder works in
        # the relocated module.
        plugin.run(sample, "sample")
        allocations = m.heap.allocations
        details, first_exception = [], None
        for n in range(2, allocations + 1):
            m.heap.fail_at = n
            blocks = set(m.heap.live)
            messages, problems = plugin.run(sample, "sample, allocation %d failing" % n)
            m.heap.fail_at = None
            if first_exception is None:
                first_exception = (plugin.state(), set(m.heap.live) - blocks)
            elif plugin.state() != first_exception[0]:
                problems.append("the process holds %s, not %s" % (
                    describe_state(plugin.state()), describe_state(first_exception[0])))
            if len(messages) != 1 or MEMORY_WORD not in messages[0].lower():
                problems.append("messages %r" % messages)
            details += ["allocation %d: %s" % (n, p) for p in problems]
        report.check(allocations > 1 and not details,
                     "32-bit: each of the %d later allocations of a sample run failed in turn: "
                     "std::bad_alloc thrown and caught inside Run, one message about memory, Run "
                     "returned 0, nothing leaked" % (allocations - 1), details)

        # Many runs in one process: sound files, damaged ones and runs out of
        # memory, by turns.
        damaged = sorted(n for n in references if category_of(n) in ("cut", "changed"))
        for n in range(RETENTION_RUNS):
            m.heap.fail_at = 2 if n % 3 == 2 else None
            name = damaged[n * 7 % len(damaged)] if n % 3 == 1 else None
            plugin.run(os.fsencode(os.path.join(args.files, name)) if name else sample,
                       "retention run %d" % (n + 1))
        m.heap.fail_at = None
        after_many = plugin.state()
    except Fault as fault:
        report.check(False, "32-bit: runs out of memory: %s" % fault)
        return

    exception_state, exception_blocks = first_exception or ((0,) * 5, set())
    start_up_bytes = sum(m.heap.live[a][0] for a in start_up if a in m.heap.live)
    report.check(
        after_files == after_first and after_many == exception_state,
        "32-bit: what the C runtime keeps from run to run: %d bytes in %d blocks from start-up "
        "(%s); with the plug-in object, after the first run %s, the same after all %d files; "
        "after the first exception %s (new: %s), the same after %d more runs (sound, damaged, "
        "out of memory): nothing grows per run" % (
            start_up_bytes, len(start_up), plugin.blocks(start_up), describe_state(after_first),
            len(references), describe_state(exception_state), plugin.blocks(exception_blocks),
            RETENTION_RUNS),
        ["after the files: " + describe_state(after_files),
         "after %d more runs: %s" % (RETENTION_RUNS, describe_state(after_many))])


def patched_copy(dll, path, edits):
    """A copy of the module with the bytes of `edits` ((address at the
    preferred base, old bytes, new bytes) each) changed."""
    pe = pefile.PE(dll, fast_load=True)
    with open(dll, "rb") as f:
        data = bytearray(f.read())
    for address, old, new in edits:
        offset = pe.get_offset_from_rva(address - pe.OPTIONAL_HEADER.ImageBase)
        if bytes(data[offset:offset + len(old)]) != old:
            raise ValueError("0x%08x does not hold %s" % (address, old.hex()))
        data[offset:offset + len(new)] = new
    with open(path, "wb") as f:
        f.write(data)
    return path


def aligned_twins(dll, disassembly):
    """Edits that turn every unaligned SSE move with a memory operand into
    its aligned twin: movups into movaps, movupd into movapd, movdqu into
    movdqa."""
    pe = pefile.PE(dll, fast_load=True)
    with open(dll, "rb") as f:
        data = f.read()
    edits = []
    for address, length, mnemonic, operands in disassembly.instructions:
        if mnemonic not in ("movups", "movupd", "movdqu") or not length:
            continue
        if all(o.startswith(("%", "$")) for o in operands):
            continue
        offset = pe.get_offset_from_rva(address - pe.OPTIONAL_HEADER.ImageBase)
        code = data[offset:offset + 3]
        if code[0] == 0x0F and code[1] in (0x10, 0x11):          # movups
            edits.append((address, code[:2], bytes([0x0F, code[1] + 0x18])))
        elif code[:2] == b"\x66\x0f" and code[2] in (0x10, 0x11):  # movupd
            edits.append((address, code, bytes([0x66, 0x0F, code[2] + 0x18])))
        elif code[:2] == b"\xf3\x0f" and code[2] in (0x6F, 0x7F):  # movdqu
            edits.append((address, code[:1], b"\x66"))
    return edits


def planted_run(dll, sample, **plant):
    plugin = Plugin32(dll, **plant)
    plugin.start()
    messages, _ = plugin.run(sample, "sample")
    return plugin, messages


def part32_planted(report, args, references):
    """Each check fails on a module, or a harness, with a fault planted."""
    work = os.path.join(args.work, "planted")
    os.makedirs(work, exist_ok=True)
    sample = os.fsencode(os.path.join(args.files, "sample.msh"))
    probe = Plugin32(args.dll32)
    probe.start()
    run_start = probe.slots[3] - (probe.m.base - probe.m.preferred_base)
    run_name = next(n for n, a in probe.disassembly.functions.items() if a == run_start)

    # Run pops 8 bytes where the host pushed 4.
    returns = [(a, b"\xc2\x04\x00", b"\xc2\x08\x00")
               for a, _, mnemonic, operands in probe.disassembly.function(run_name)
               if mnemonic == "ret" and operands == ["$0x4"]]
    try:
        plugin, _ = planted_run(patched_copy(args.dll32, os.path.join(work, "pops8.dll"), returns),
                                sample)
        caught = [p for p in plugin.m.abi_problems if "ESP" in p]
    except Fault as fault:
        caught = ["the run faulted: %s" % fault]
    report.check(bool(returns and caught), "32-bit planted fault caught: Run made to pop 8 bytes "
                 "(%d x ret $0x8): %s" % (len(returns), caught[0] if caught else "NOT CAUGHT"))

    # One bit of one float of the model.
    try:
        plugin, messages = planted_run(args.dll32, sample, flip_bit=True)
        difference = compare(plugin.host.snapshot(), messages, references["sample.msh"])
    except Fault as fault:
        difference = None
        report.details([str(fault)])
    report.check(bool(difference), "32-bit planted fault caught: one float bit changed in the "
                 "model: %s" % (difference or "NOT CAUGHT"))

    # Aligned SSE moves where the compiler put unaligned ones.
    edits = aligned_twins(args.dll32, probe.disassembly)
    try:
        plugin, _ = planted_run(patched_copy(args.dll32, os.path.join(work, "aligned.dll"), edits),
                                sample)
        caught = plugin.m.alignment_problems
    except Fault as fault:
        caught = ["the run faulted: %s" % fault]
    report.check(bool(caught), "32-bit planted fault caught: the %d unaligned SSE moves with a "
                 "memory operand made aligned (movaps, movapd, movdqa): %d misaligned executions, "
                 "the first %s" % (len(edits), len(caught), caught[0] if caught else "NOT CAUGHT"))

    # An import without an answer.
    try:
        planted_run(args.dll32, sample, drop_answer="fread")
        caught = None
    except Fault as fault:
        caught = str(fault)
    report.check(bool(caught) and "fread" in caught and "FileBuffer" in caught,
                 "32-bit planted fault caught: no answer for fread: %s" % (caught or "NOT CAUGHT"))


def run_wine(args, lines, out, flip_bit=False):
    """qmrunhost on the lines (file names in --files, "" to cancel); what it
    wrote goes to `out`."""
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    listing = os.path.join(out, "list.txt")
    with open(listing, "w") as f:
        f.write("".join(line + "\n" for line in lines))
    environment = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    environment.setdefault("WINEPREFIX", "/tmp/qm-wine-%d" % os.getuid())
    host = os.path.abspath(args.host64)
    module = os.path.join(os.path.dirname(host), "qmMSH2030Vimporter.dll")
    command = [args.wine, host, module, listing, os.path.abspath(out)]
    # The files are named relative to the folder wine starts in.
    run = subprocess.run(command + (["--flip-bit"] if flip_bit else []), cwd=args.files,
                         env=environment, capture_output=True, timeout=600)
    runs = os.path.join(out, "runs.json")
    if run.returncode != 0 or not os.path.exists(runs):
        raise RuntimeError("qmrunhost exited with %d: %s" % (
            run.returncode, (run.stdout + run.stderr).decode("latin-1").strip()[-500:]))
    with open(runs, encoding="utf-8") as f:
        return json.load(f)


def read_wine_run(out, n, run):
    with open(os.path.join(out, "%d.json" % n), encoding="utf-8") as f:
        model = canonical_model(f.read())
    messages = [text.encode("latin-1") for text in run["messages"]]
    problems = list(run["problems"])
    if run["returned"] != 0:
        problems.append("Run returned %d" % run["returned"])
    if run["dialogs"] != 1:
        problems.append("the dialog was opened %d times" % run["dialogs"])
    if not run["x87ControlWordKept"]:
        problems.append("the x87 control word changed")
    if not run["mxcsrKept"]:
        problems.append("MXCSR changed")
    return model, messages, problems


def part64(args, report, references):
    started = time.time()
    names = sorted(references)
    out = os.path.join(args.work, "win64")
    module = os.path.join(os.path.dirname(args.host64), "qmMSH2030Vimporter.dll")
    try:
        runs = run_wine(args, names + [""], out)
    except (RuntimeError, OSError, subprocess.TimeoutExpired) as error:
        report.check(False, "64-bit: qmrunhost under wine64: %s" % error)
        return
    if not report.check(len(runs) == len(names) + 1,
                        "64-bit: qmrunhost under wine64 loaded %s and qmModelLib.dll, pointed the "
                        "module's import entries for GetOpenFileNameA and MessageBoxA at its "
                        "answers, ran %d imports of %d and deleted the object" % (
                            module, len(runs), len(names) + 1)):
        return
    results = {name: read_wine_run(out, n, run) for n, (name, run) in enumerate(zip(names, runs))}
    compare_categories(report, "64-bit", results, references)
    kept = [run for run in runs[:len(names)] if run["x87ControlWordKept"] and run["mxcsrKept"]]
    report.check(len(kept) == len(names), "64-bit: every Run left the x87 control word and MXCSR "
                 "as they were (%d of %d)" % (len(kept), len(names)))
    model, messages, problems = read_wine_run(out, len(names), runs[-1])
    report.check(not model["meshes"] and not messages and not problems,
                 "64-bit: Run with the dialog cancelled returned 0, showed nothing, built nothing",
                 problems)
    report.note("64-bit: %d imports compared in %.1f s" % (len(results), time.time() - started))

    planted = os.path.join(args.work, "win64-planted")
    try:
        runs = run_wine(args, ["sample.msh"], planted, flip_bit=True)
        model, messages, _ = read_wine_run(planted, 0, runs[0])
        difference = compare(model, messages, references["sample.msh"])
    except (RuntimeError, OSError, subprocess.TimeoutExpired) as error:
        difference = None
        report.details([str(error)])
    report.check(bool(difference), "64-bit planted fault caught: one float bit changed in the "
                 "model: %s" % (difference or "NOT CAUGHT"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--qmhost", required=True)
    parser.add_argument("--files", required=True, help="the files to import (make_dll_run_files)")
    parser.add_argument("--work", required=True, help="a folder for qmhost's models and the runs")
    parser.add_argument("--dll32", default="build-win32/qmMSH2030Vimporter.dll")
    parser.add_argument("--host64", default="build-win64/qmrunhost.exe")
    parser.add_argument("--wine", default="/usr/lib/wine/wine64")
    parser.add_argument("--part", choices=("32", "64", "all"), default="all")
    args = parser.parse_args()
    args.files = os.path.abspath(args.files)
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)

    report = Report()
    started = time.time()
    try:
        references = make_references(args.qmhost, args.files, args.work)
    except (RuntimeError, ValueError, OSError, subprocess.TimeoutExpired) as error:
        report.check(False, "qmhost's models of the files: %s" % error)
        references = None
    if references:
        report.note("qmhost imported %d files for the comparisons in %.1f s" % (
            len(references), time.time() - started))
        if args.part in ("32", "all"):
            part32(args, report, references)
        if args.part in ("64", "all"):
            part64(args, report, references)
    report.note("dllrun: %.0f s" % (time.time() - started))
    print("%d passed, %d failed" % (report.passed, report.failed))
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
