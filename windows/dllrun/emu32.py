"""An i386 machine that loads a 32-bit Windows DLL as the Windows loader does
and calls into it as a host built with Microsoft's compiler does.

The module is mapped section by section at a base other than its preferred
one (every base relocation applied), each section with its own protection;
its imports are bound to thunks, one per imported function, that the answers
of winapi32.py and hostmodel.py serve in Python; its TLS block, TLS callbacks
and entry point run as on Windows. Every call from the host goes through
Machine.call, which checks what the callee must leave as it found it.

Nothing runs that the harness does not answer: a call to an import without an
answer stops the run and names the import and the function that called it.
"""

import bisect
import re
import struct
import subprocess

import pefile
from unicorn import (UC_ARCH_X86, UC_HOOK_CODE, UC_HOOK_MEM_INVALID, UC_MEM_FETCH_PROT,
                     UC_MEM_FETCH_UNMAPPED, UC_MEM_READ_PROT, UC_MEM_READ_UNMAPPED,
                     UC_MEM_WRITE_PROT, UC_MEM_WRITE_UNMAPPED, UC_MODE_32, UC_PROT_ALL,
                     UC_PROT_EXEC, UC_PROT_NONE, UC_PROT_READ, UC_PROT_WRITE, Uc, UcError)
from unicorn.x86_const import (UC_X86_REG_EAX, UC_X86_REG_EBP, UC_X86_REG_EBX, UC_X86_REG_ECX,
                               UC_X86_REG_EDI, UC_X86_REG_EDX, UC_X86_REG_EFLAGS, UC_X86_REG_EIP,
                               UC_X86_REG_ESI, UC_X86_REG_ESP, UC_X86_REG_FPCW, UC_X86_REG_FPSW,
                               UC_X86_REG_FPTAG, UC_X86_REG_FS, UC_X86_REG_GDTR, UC_X86_REG_MXCSR,
                               UC_X86_REG_SS)

# The address space. The image goes to IMAGE_BASE, far from the preferred
# base of a MinGW DLL, so that every relocation matters.
HOST_CODE = 0x00010000      # return addresses of the host's calls, host-side code
STACK_LOW = 0x00100000
STACK_SIZE = 0x00100000
TEB = 0x00300000            # the thread's environment block; FS points here
PEB = 0x00301000
GDT = 0x00302000
TLS_ARRAY = 0x00303000      # ThreadLocalStoragePointer: one block per module
TLS_BLOCKS = 0x00304000
CRT_DATA = 0x00400000       # the C runtime's own data: FILE records, strings, errno
CRT_DATA_SIZE = 0x00100000
THUNKS = 0x00500000         # one small function per import
THUNKS_SIZE = 0x00010000
IMAGE_BASE = 0x10000000
HEAP_BASE = 0x20000000
HEAP_SIZE = 0x10000000
HANDLES = 0x80000000        # host handles: opaque, never mapped

RETURN_ADDRESS = HOST_CODE  # the host's calls return here; the run stops on it

# What a host built with Microsoft's compiler has in place when it calls: the
# x87 unit at 53-bit precision with every exception masked, SSE with every
# exception masked and round to nearest.
HOST_FPCW = 0x027F
HOST_MXCSR = 0x1F80
MXCSR_CONTROL = 0xFFC0      # the status bits (0-5) are the callee's to set
FPTAG_EMPTY = 0xFFFF
DF = 1 << 10

# The callee-saved registers hold these on every call; the callee must give
# them back.
CALLEE_SAVED = {UC_X86_REG_EBX: ("EBX", 0x0B0B0B0B), UC_X86_REG_ESI: ("ESI", 0x51051051),
                UC_X86_REG_EDI: ("EDI", 0x0D10D10D), UC_X86_REG_EBP: ("EBP", 0x0EB0EB0E)}
# Caller-saved registers get fresh values after every answered import, as a
# real import leaves them.
SCRATCH = 0xCCCCCCCC

_ACCESS = {UC_MEM_READ_UNMAPPED: "read of unmapped", UC_MEM_WRITE_UNMAPPED: "write to unmapped",
           UC_MEM_FETCH_UNMAPPED: "jump to unmapped", UC_MEM_WRITE_PROT: "write to read-only",
           UC_MEM_READ_PROT: "read of unreadable", UC_MEM_FETCH_PROT: "execution of non-code"}


class Fault(Exception):
    """The run went wrong in a way that fails it: the text says how."""


def _gdt_entry(base, limit, access, flags):
    value = (limit & 0xFFFF) | (base & 0xFFFFFF) << 16 | (access & 0xFF) << 40
    value |= ((limit >> 16) & 0xF) << 48 | (flags & 0xF) << 52 | ((base >> 24) & 0xFF) << 56
    return struct.pack("<Q", value)


class Symbols:
    """The module's function symbols, from its COFF symbol table (MinGW keeps
    it), to name the code at an address."""

    def __init__(self, dll_path, preferred_base, base, tool="i686-w64-mingw32-nm"):
        self.addresses = []
        self.names = []
        try:
            text = subprocess.run([tool, "--demangle", "-n", dll_path], check=True,
                                  capture_output=True, text=True).stdout
        except (OSError, subprocess.CalledProcessError):
            return
        for line in text.splitlines():
            parts = line.split(" ", 2)
            if len(parts) == 3 and parts[1] in ("T", "t"):
                self.addresses.append(int(parts[0], 16) - preferred_base + base)
                self.names.append(parts[2])

    def name(self, address):
        n = bisect.bisect_right(self.addresses, address) - 1
        if n < 0:
            return "0x%08x" % address
        return "%s+0x%x (0x%08x)" % (self.names[n], address - self.addresses[n], address)


class Heap:
    """The C runtime's heap. Its blocks are 8-aligned, as msvcrt's are on
    32-bit Windows, and here never 16-aligned (each starts 8 bytes past a
    multiple of 16); fresh blocks hold 0xCD rather than zeros, freed ones are
    overwritten with 0xDD, and freed blocks are reused by size, newest first,
    so runs repeat exactly. It counts what is live and can fail a chosen
    allocation."""

    def __init__(self, uc):
        self.uc = uc
        self.next = HEAP_BASE + 8
        self.live = {}        # address -> (requested size, block size)
        self.sites = {}       # address -> the code that asked for the block
        self.free_blocks = {}
        self.allocations = 0  # allocations since the counter was reset
        self.fail_at = None   # fail allocation number N of the counted ones

    def live_bytes(self):
        return sum(size for size, _ in self.live.values())

    def allocate(self, size, site=0):
        self.allocations += 1
        if self.allocations == self.fail_at:
            return 0
        block = max(16, (size + 15) & ~15)
        reuse = self.free_blocks.get(block)
        if reuse:
            address = reuse.pop()
        else:
            if self.next + block > HEAP_BASE + HEAP_SIZE or size >= 0x7FFFFFFF:
                return 0
            address = self.next
            self.next += block
        self.live[address] = (size, block)
        self.sites[address] = site
        if size:
            self.uc.mem_write(address, b"\xCD" * size)
        return address

    def free(self, address):
        if address == 0:
            return
        if address not in self.live:
            raise Fault("free(0x%08x): no block of the heap starts there" % address)
        size, block = self.live.pop(address)
        self.sites.pop(address, None)
        if size:
            self.uc.mem_write(address, b"\xDD" * size)
        self.free_blocks.setdefault(block, []).append(address)

    def size_of(self, address):
        return self.live[address][0]


# Legacy SSE instructions whose 16-byte memory operand must be 16-aligned
# (the processor faults otherwise); the unaligned moves and the forms with a
# smaller memory operand are not among them.
_ALIGNED_SSE = re.compile(
    r"^(movap[sd]|movdqa|movnt(ps|pd|dq|dqa)"
    r"|(add|sub|mul|div|min|max|sqrt|and|andn|or|xor|addsub|hadd|hsub|round|dp|blend|blendv)p[sd]"
    r"|rcpps|rsqrtps|cmp\w*p[sd]|shufp[sd]|unpck[lh]p[sd]"
    r"|cvt(ps2dq|dq2ps|tps2dq|pd2dq|tpd2dq|pd2ps)"
    r"|pshuf[bdhl]\w*|palignr|ptest|mpsadbw|phminposuw|pcmp(eq|gt)[bwdq]"
    r"|p(add|sub|mul|madd|and|andn|or|xor|max|min|avg|sadbw|unpck|ack|sign|abs|hadd|hsub"
    r"|sll|srl|sra|blend)\w*)$")
_MEMORY = re.compile(r"^(?:%(?P<seg>[a-z]s):)?(?P<disp>-?0x[0-9a-f]+|-?\d+)?"
                     r"(?:\((?P<base>%\w+)?(?:,(?P<index>%\w+)(?:,(?P<scale>\d))?)?\))?$")
_REGISTERS = {"eax": UC_X86_REG_EAX, "ebx": UC_X86_REG_EBX, "ecx": UC_X86_REG_ECX,
              "edx": UC_X86_REG_EDX, "esi": UC_X86_REG_ESI, "edi": UC_X86_REG_EDI,
              "ebp": UC_X86_REG_EBP, "esp": UC_X86_REG_ESP}


def _operands(text):
    """AT&T operands, split at the commas outside parentheses."""
    parts, depth, current = [], 0, ""
    for ch in text:
        if ch == "," and depth == 0:
            parts.append(current)
            current = ""
            continue
        depth += ch == "("
        depth -= ch == ")"
        current += ch
    if current:
        parts.append(current)
    return [p.strip() for p in parts]


class Disassembly:
    """The module's code as objdump reads it: (address at the preferred base,
    length, mnemonic, operands) per instruction, and the functions' starts."""

    def __init__(self, dll_path, tool="i686-w64-mingw32-objdump"):
        text = subprocess.run([tool, "-d", "--no-show-raw-insn", dll_path], check=True,
                              capture_output=True, text=True).stdout
        self.instructions = []
        self.functions = {}
        for line in text.splitlines():
            match = re.match(r"^\s*([0-9a-f]+):\s+(\S+)\s*(.*)$", line)
            if match:
                address = int(match.group(1), 16)
                if self.instructions and self.instructions[-1][1] is None:
                    last = self.instructions[-1]
                    self.instructions[-1] = (last[0], address - last[0]) + last[2:]
                operands = match.group(3).split("#")[0].split("<")[0].strip()
                self.instructions.append((address, None, match.group(2), _operands(operands)))
                continue
            match = re.match(r"^([0-9a-f]+) <(.*)>:$", line)
            if match:
                self.functions[match.group(2)] = int(match.group(1), 16)

    def function(self, symbol):
        """The instructions of the function that starts at the address of `symbol`."""
        start = self.functions[symbol]
        following = min((a for a in self.functions.values() if a > start), default=1 << 32)
        return [i for i in self.instructions if start <= i[0] < following]

    def aligned_sse_accesses(self):
        """The SSE instructions with a memory operand that must be 16-aligned:
        (address, length, mnemonic, memory operand) each."""
        found = []
        for address, length, mnemonic, operands in self.instructions:
            if not _ALIGNED_SSE.match(mnemonic) or not any(o.startswith("%xmm") for o in operands):
                continue  # the MMX forms need no alignment
            memory = [o for o in operands if not o.startswith(("%", "$"))]
            if memory and length:
                found.append((address, length, mnemonic, memory[0]))
        return found


class Import:
    def __init__(self, dll, name, answer, data):
        self.dll = dll
        self.name = name
        self.answer = answer  # a function of the argument words, or None
        self.data = data      # else the address the entry holds: data, or host code
        self.calls = 0


class Machine:
    """One process that has loaded the module: the CPU, the memory, the heap,
    the loaded image and the thread's TEB."""

    def __init__(self, dll_path):
        self.dll_path = dll_path
        self.uc = Uc(UC_ARCH_X86, UC_MODE_32)
        self.pe = pefile.PE(dll_path, fast_load=False)
        self.preferred_base = self.pe.OPTIONAL_HEADER.ImageBase
        self.base = IMAGE_BASE
        self.size = (self.pe.OPTIONAL_HEADER.SizeOfImage + 0xFFF) & ~0xFFF
        self.symbols = Symbols(dll_path, self.preferred_base, self.base)
        self.fault = None           # the first Fault raised inside a hook
        self.abi_problems = []      # what a callee left changed, as text
        self.alignment_problems = []  # aligned SSE accesses to unaligned addresses
        self.imports = []
        self.thunk_at = {}
        self.relocated = set()      # RVAs of the words relocated
        self.calls = 0              # calls made from the host
        self.aligned_checked = 0    # executions of aligned SSE forms checked
        self.current_call = None
        self.caller = 0             # the return address of the import being answered
        self._map_memory()
        self.heap = Heap(self.uc)
        self.crt_next = CRT_DATA

    # Memory

    def _map_memory(self):
        uc = self.uc
        uc.mem_map(HOST_CODE, 0x10000, UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_map(STACK_LOW, STACK_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        uc.mem_map(TEB, 0x00010000, UC_PROT_READ | UC_PROT_WRITE)
        uc.mem_map(CRT_DATA, CRT_DATA_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        uc.mem_map(THUNKS, THUNKS_SIZE, UC_PROT_READ | UC_PROT_EXEC)
        uc.mem_map(HEAP_BASE, HEAP_SIZE, UC_PROT_READ | UC_PROT_WRITE)
        # The TEB, reached through FS as on Windows: the end of the SEH chain,
        # the stack's bounds, itself, the thread id, TLS and the PEB.
        self.w32(TEB + 0x00, 0xFFFFFFFF)
        self.w32(TEB + 0x04, STACK_LOW + STACK_SIZE)
        self.w32(TEB + 0x08, STACK_LOW)
        self.w32(TEB + 0x18, TEB)
        self.w32(TEB + 0x20, 0x1000)
        self.w32(TEB + 0x24, 0x1004)
        self.w32(TEB + 0x2C, TLS_ARRAY)
        self.w32(TEB + 0x30, PEB)
        # Segments: FS a data segment based at the TEB; the others flat, with
        # a 32-bit stack segment (present, data, writable, 32-bit; 4 KiB
        # granularity for the flat ones).
        uc.mem_write(GDT + 8 * 2, _gdt_entry(0, 0xFFFFF, 0x80 | 0x10 | 0x02, 0xC))
        uc.mem_write(GDT + 8 * 3, _gdt_entry(TEB, 0xFFF, 0x80 | 0x10 | 0x02 | 0x60, 0x4))
        uc.reg_write(UC_X86_REG_GDTR, (0, GDT, 8 * 8 - 1, 0))
        uc.reg_write(UC_X86_REG_SS, 2 << 3)
        uc.reg_write(UC_X86_REG_FS, (3 << 3) | 3)
        # Host code: fninit, then the x87 and SSE state a Microsoft-built host
        # keeps, set up once like a process's start-up does.
        uc.mem_write(HOST_CODE + 0x10, b"\xDB\xE3")  # fninit
        uc.emu_start(HOST_CODE + 0x10, HOST_CODE + 0x12)
        uc.reg_write(UC_X86_REG_FPCW, HOST_FPCW)
        uc.reg_write(UC_X86_REG_MXCSR, HOST_MXCSR)
        uc.hook_add(UC_HOOK_MEM_INVALID, self._on_bad_access)

    def r32(self, address):
        return struct.unpack("<I", self.uc.mem_read(address, 4))[0]

    def w32(self, address, value):
        self.uc.mem_write(address, struct.pack("<I", value & 0xFFFFFFFF))

    def read(self, address, size):
        return bytes(self.uc.mem_read(address, size))

    def write(self, address, data):
        self.uc.mem_write(address, bytes(data))

    def cstring(self, address, limit=1 << 16):
        """The NUL-terminated bytes at `address`, without the NUL."""
        if address == 0:
            raise Fault("a null pointer where a string was expected")
        out = bytearray()
        while len(out) < limit:
            chunk = self.read(address + len(out), 64 - (address + len(out)) % 64)
            end = chunk.find(b"\0")
            if end >= 0:
                return bytes(out + chunk[:end])
            out += chunk
        raise Fault("a string at 0x%08x runs on past %d bytes" % (address, limit))

    def crt_alloc(self, size, data=b""):
        """Memory of the C runtime itself (not the module's heap)."""
        address = self.crt_next
        self.crt_next = (self.crt_next + max(size, len(data), 1) + 15) & ~15
        if self.crt_next > CRT_DATA + CRT_DATA_SIZE:
            raise Fault("the C runtime's own data is full")
        if data:
            self.write(address, data)
        return address

    def _on_bad_access(self, uc, access, address, size, value, _):
        eip = uc.reg_read(UC_X86_REG_EIP)
        if self.fault is None:
            self.fault = Fault("%s memory at 0x%08x (%d bytes) by %s" % (
                _ACCESS.get(access, "bad access to"), address, size, self.symbols.name(eip)))
        return False

    # Loading

    def load(self, resolve):
        """Maps the image, applies its relocations and binds its imports:
        `resolve(dll, name)` gives the answer of each import: a function, None
        for none, or ("data" or "code", address) for an entry that points
        straight at data or machine code of the harness."""
        pe = self.pe
        image = bytearray(self.size)
        headers = pe.OPTIONAL_HEADER.SizeOfHeaders
        image[:headers] = pe.__data__[:headers]
        for section in pe.sections:
            raw = section.get_data()[:section.Misc_VirtualSize or section.SizeOfRawData]
            image[section.VirtualAddress:section.VirtualAddress + len(raw)] = raw

        delta = (self.base - self.preferred_base) & 0xFFFFFFFF
        for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []):
            for entry in block.entries:
                if entry.type == pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"]:
                    continue
                if entry.type != pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"]:
                    raise Fault("relocation of type %d at RVA 0x%x" % (entry.type, entry.rva))
                value = struct.unpack_from("<I", image, entry.rva)[0]
                struct.pack_into("<I", image, entry.rva, (value + delta) & 0xFFFFFFFF)
                self.relocated.add(entry.rva)

        thunk = THUNKS
        code = bytearray()
        for entry in pe.DIRECTORY_ENTRY_IMPORT:
            dll = entry.dll.decode()
            for imported in entry.imports:
                name = imported.name.decode() if imported.name else "#%d" % imported.ordinal
                answer = resolve(dll, name)
                iat = imported.address - self.preferred_base
                if isinstance(answer, tuple):
                    record = Import(dll, name, None, answer[1])
                    struct.pack_into("<I", image, iat, answer[1])
                else:
                    record = Import(dll, name, answer, None)
                    struct.pack_into("<I", image, iat, thunk)
                    self.thunk_at[thunk] = record
                    code += self._thunk_code(answer)
                    thunk += 4
                self.imports.append(record)
        self.uc.mem_write(THUNKS, bytes(code))
        self.thunk_end = thunk

        self.uc.mem_map(self.base, self.size, UC_PROT_ALL)
        self.uc.mem_write(self.base, bytes(image))
        self.uc.mem_protect(self.base, (headers + 0xFFF) & ~0xFFF, UC_PROT_READ)
        for section in pe.sections:
            flags = section.Characteristics
            prot = UC_PROT_NONE
            prot |= UC_PROT_READ if flags & 0x40000000 else 0
            prot |= UC_PROT_WRITE if flags & 0x80000000 else 0
            prot |= UC_PROT_EXEC if flags & 0x20000000 else 0
            size = (max(section.Misc_VirtualSize, section.SizeOfRawData) + 0xFFF) & ~0xFFF
            self.uc.mem_protect(self.base + section.VirtualAddress, size, prot)
        self.uc.hook_add(UC_HOOK_CODE, self._on_thunk, begin=THUNKS, end=THUNKS + THUNKS_SIZE - 1)
        self._setup_tls()

    def _thunk_code(self, answer):
        # The thunk returns as the real function would: `ret` for cdecl,
        # `ret N` for stdcall, which pops the arguments.
        pops = getattr(answer, "pops", 0) if answer else 0
        return b"\xC2" + struct.pack("<H", pops) + b"\x90" if pops else b"\xC3\x90\x90\x90"

    def add_thunk(self, dll, name, answer):
        """A thunk for a function looked up at run time (GetProcAddress)."""
        for record in self.imports:
            if record.dll.lower() == dll.lower() and record.name == name and record.data is None:
                return next(a for a, r in self.thunk_at.items() if r is record)
        record = Import(dll, name, answer, None)
        address = self.thunk_end
        self.thunk_end += 4
        self.uc.mem_write(address, self._thunk_code(answer))
        self.thunk_at[address] = record
        self.imports.append(record)
        return address

    def _setup_tls(self):
        directory = getattr(self.pe, "DIRECTORY_ENTRY_TLS", None)
        self.tls_callbacks = []
        if directory is None:
            return
        tls = directory.struct
        delta = self.base - self.preferred_base
        start, end = tls.StartAddressOfRawData + delta, tls.EndAddressOfRawData + delta
        block = self.read(start, end - start) + b"\0" * tls.SizeOfZeroFill
        self.write(TLS_BLOCKS, block)
        self.w32(TLS_ARRAY, TLS_BLOCKS)
        self.w32(tls.AddressOfIndex + delta, 0)  # the module's TLS index: slot 0
        callbacks = tls.AddressOfCallBacks + delta
        while self.r32(callbacks):
            self.tls_callbacks.append(self.r32(callbacks))
            callbacks += 4

    def export(self, name):
        for symbol in self.pe.DIRECTORY_ENTRY_EXPORT.symbols:
            if symbol.name and symbol.name.decode() == name:
                return self.base + symbol.address
        raise Fault("the module exports no %s" % name)

    def entry_point(self):
        return self.base + self.pe.OPTIONAL_HEADER.AddressOfEntryPoint

    # Alignment checks

    def check_aligned_sse(self, sites):
        """Hooks each aligned SSE access of `sites`
        (Disassembly.aligned_sse_accesses) to check its address as it runs:
        the emulator itself does not fault on a misaligned one."""
        delta = self.base - self.preferred_base
        for address, length, mnemonic, operand in sites:
            match = _MEMORY.match(operand)
            if match is None:
                raise Fault("cannot read the memory operand %r of %s" % (operand, mnemonic))
            # A displacement that is an address in the image was relocated
            # with the instruction.
            rva = address - self.preferred_base
            relocated = delta if any(rva + n in self.relocated for n in range(length)) else 0
            site = (address + delta, mnemonic, operand, match, relocated)
            self.uc.hook_add(UC_HOOK_CODE, self._on_aligned, site, begin=site[0], end=site[0])

    def _on_aligned(self, uc, address, size, site):
        if self.fault is not None:
            return
        _, mnemonic, operand, match, relocated = site
        ea = int(match.group("disp") or "0", 0) + relocated
        if match.group("base"):
            ea += uc.reg_read(_REGISTERS[match.group("base")[1:]])
        if match.group("index"):
            ea += uc.reg_read(_REGISTERS[match.group("index")[1:]]) * int(match.group("scale") or 1)
        if match.group("seg") == "fs":
            ea += TEB
        ea &= 0xFFFFFFFF
        self.aligned_checked += 1
        if ea % 16:
            self.alignment_problems.append("%s %s at %s: address 0x%08x is not 16-aligned (%s)" % (
                mnemonic, operand, self.symbols.name(address), ea, self.current_call))

    # Imports

    def _on_thunk(self, uc, address, size, _):
        record = self.thunk_at.get(address)
        if record is None or self.fault is not None:
            return
        esp = uc.reg_read(UC_X86_REG_ESP)
        caller = self.caller = self.r32(esp)
        record.calls += 1
        if record.answer is None:
            self.fault = Fault("call to %s!%s, which the harness does not answer, from %s" % (
                record.dll, record.name, self.symbols.name(caller)))
            uc.emu_stop()
            return
        count = record.answer.words
        words = struct.unpack("<%dI" % count, self.read(esp + 4, 4 * count)) if count else ()
        try:
            result = record.answer(*words)
        except Fault as fault:
            self.fault = Fault("%s!%s called from %s: %s" % (record.dll, record.name,
                                                             self.symbols.name(caller), fault))
            uc.emu_stop()
            return
        uc.reg_write(UC_X86_REG_EAX, SCRATCH if result is None else result & 0xFFFFFFFF)
        uc.reg_write(UC_X86_REG_ECX, SCRATCH)
        uc.reg_write(UC_X86_REG_EDX, SCRATCH)

    def imports_called(self):
        return sorted("%s!%s" % (r.dll, r.name) for r in self.imports if r.calls)

    # Calls from the host

    def call(self, what, address, args=(), this=None, callee_pops=True, timeout=60):
        """Calls `address` as a Microsoft-compiled host: arguments on the
        stack, `this` in ECX for __thiscall, a stack aligned to 4 bytes only
        (the call sites rotate through 4, 8 and 12 past a multiple of 16), and
        the callee-saved registers, the direction flag, the x87 control word,
        MXCSR and an empty x87 stack as the callee must leave them. Returns
        EAX. A fault raises Fault; a callee that leaves the state changed adds
        a line to `abi_problems` for each thing changed."""
        uc = self.uc
        self.calls += 1
        self.current_call = what
        top = (STACK_LOW + STACK_SIZE - 0x1000) & ~0xF
        call_site = top - 16 * (2 + len(args) // 4) + 4 * (1 + self.calls % 3)
        for n, word in enumerate(args):
            self.w32(call_site + 4 * n, word)
        stack = call_site - 4
        self.w32(stack, RETURN_ADDRESS)
        expected_esp = call_site + (4 * len(args) if callee_pops else 0)

        uc.reg_write(UC_X86_REG_ESP, stack)
        uc.reg_write(UC_X86_REG_EAX, SCRATCH)
        uc.reg_write(UC_X86_REG_EDX, SCRATCH)
        uc.reg_write(UC_X86_REG_ECX, SCRATCH if this is None else this)
        for register, (_, value) in CALLEE_SAVED.items():
            uc.reg_write(register, value)
        uc.reg_write(UC_X86_REG_EFLAGS, 0x202)
        uc.reg_write(UC_X86_REG_FPCW, HOST_FPCW)
        uc.reg_write(UC_X86_REG_MXCSR, HOST_MXCSR)
        fpsw = uc.reg_read(UC_X86_REG_FPSW)

        self.fault = None
        try:
            uc.emu_start(address, RETURN_ADDRESS, timeout=timeout * 1000000)
        except UcError as error:
            if self.fault is None:
                eip = uc.reg_read(UC_X86_REG_EIP)
                self.fault = Fault("%s at %s" % (error, self.symbols.name(eip)))
        if self.fault is not None:
            raise Fault("%s: %s" % (what, self.fault))
        eip = uc.reg_read(UC_X86_REG_EIP)
        if eip != RETURN_ADDRESS:
            raise Fault("%s did not return within %d s (stopped at %s)" % (what, timeout,
                                                                          self.symbols.name(eip)))

        changed = []
        esp = uc.reg_read(UC_X86_REG_ESP)
        if esp != expected_esp:
            changed.append("ESP is %+d bytes off (the callee popped %d bytes of arguments, "
                           "not %d)" % (esp - expected_esp, esp - call_site,
                                        expected_esp - call_site))
        for register, (name, value) in CALLEE_SAVED.items():
            if uc.reg_read(register) != value:
                changed.append("%s changed" % name)
        if uc.reg_read(UC_X86_REG_EFLAGS) & DF:
            changed.append("the direction flag is set")
        if uc.reg_read(UC_X86_REG_FPCW) != HOST_FPCW:
            changed.append("x87 control word 0x%04x" % uc.reg_read(UC_X86_REG_FPCW))
        if uc.reg_read(UC_X86_REG_MXCSR) & MXCSR_CONTROL != HOST_MXCSR & MXCSR_CONTROL:
            changed.append("MXCSR 0x%04x" % uc.reg_read(UC_X86_REG_MXCSR))
        top_moved = (uc.reg_read(UC_X86_REG_FPSW) ^ fpsw) & 0x3800
        if uc.reg_read(UC_X86_REG_FPTAG) != FPTAG_EMPTY or top_moved:
            changed.append("the x87 stack is not empty")
        for text in changed:
            self.abi_problems.append("%s: %s" % (what, text))
        return uc.reg_read(UC_X86_REG_EAX)
