"""The Windows the 32-bit module sees: the functions of KERNEL32, msvcrt,
USER32 and COMDLG32 that it calls, answered in Python over the emulated
memory (emu32.Machine).

Each answer is declared with its library, its name and the number of 32-bit
argument words it takes; KERNEL32, USER32 and COMDLG32 are __stdcall (the
callee pops the words), msvcrt is __cdecl. Only what the module is seen to
call is answered: any other import stays without an answer, and a call to it
fails the run.

The dialog is answered with the file of the current run (`Session`), and each
message box's text is recorded there.
"""

import errno
import os
import struct

from emu32 import HANDLES, HOST_CODE, Fault

ERRNO = {errno.ENOENT: 2, errno.EACCES: 13, errno.EISDIR: 13, errno.ENOTDIR: 2}
ERROR_MOD_NOT_FOUND = 126
INITTERM = HOST_CODE + 0x100

# _initterm(first, last) calls every non-null function pointer in
# [first, last): it calls back into the module, so it runs as machine code.
INITTERM_CODE = bytes([
    0x56,                    # push esi
    0x57,                    # push edi
    0x8B, 0x74, 0x24, 0x0C,  # mov esi, [esp+12]
    0x8B, 0x7C, 0x24, 0x10,  # mov edi, [esp+16]
    0x39, 0xFE,              # next: cmp esi, edi
    0x73, 0x0D,              # jae done
    0x8B, 0x06,              # mov eax, [esi]
    0x85, 0xC0,              # test eax, eax
    0x74, 0x02,              # jz skip
    0xFF, 0xD0,              # call eax
    0x83, 0xC6, 0x04,        # skip: add esi, 4
    0xEB, 0xEF,              # jmp next
    0x5F,                    # done: pop edi
    0x5E,                    # pop esi
    0xC3,                    # ret
])


def answer(dll, name, words):
    """Declares the answer to DLL!NAME, a function of `words` 32-bit
    argument words: __cdecl for msvcrt and qmModelLib, __stdcall (the callee
    pops the words) for the system's other libraries."""
    def mark(function):
        function.import_dll, function.import_name, function.words = dll, name, words
        function.pops = 0 if dll in ("msvcrt.dll", "qmmodellib.dll") else 4 * words
        return function
    return mark


def kernel32(name, words):
    return answer("kernel32.dll", name, words)


def msvcrt(name, words):
    return answer("msvcrt.dll", name, words)


def answers_of(owner):
    """The answers that an object's methods declare, by (dll, name)."""
    found = {}
    for attribute in dir(owner):
        function = getattr(owner, attribute)
        if hasattr(function, "import_name"):
            found[(function.import_dll, function.import_name)] = function
    return found


def signed(word):
    return word - (1 << 32) if word & 0x80000000 else word


class Session:
    """One Run: the dialog's answer (a path as bytes, or None to cancel) and
    what the module showed."""

    def __init__(self, answer):
        self.answer = answer
        self.messages = []
        self.dialogs = 0
        self.dialog_problems = []


class Windows:
    SYSTEM_MODULES = ("kernel32.dll", "msvcrt.dll", "user32.dll", "comdlg32.dll", "ntdll.dll")

    def __init__(self, machine):
        self.m = machine
        self.session = None
        self.last_error = 0
        self.tls = {}
        self.tls_next = 0
        self.critical_sections = {}
        self.semaphores = {}
        self.handle_next = HANDLES + 0x100000
        self.files = {}       # FILE* -> [python file, fd]
        self.file_records = []
        self.lookups = []     # (module, name) looked up with GetProcAddress
        self.answers = answers_of(self)
        m = machine
        m.write(INITTERM, INITTERM_CODE)
        self.errno = m.crt_alloc(4, struct.pack("<I", 0))
        self.mb_cur_max = m.crt_alloc(4, struct.pack("<I", 1))
        # msvcrt's _iob: stdin, stdout, stderr and 17 more FILE records of 32
        # bytes each.
        self.iob = m.crt_alloc(20 * 32, b"\0" * (20 * 32))
        for n in range(3):
            self.m.w32(self.iob + 32 * n + 16, n)  # _file
        empty = m.crt_alloc(1, b"\0")
        point = m.crt_alloc(2, b".\0")
        # struct lconv of the "C" locale: ten strings, then eight CHAR_MAX.
        self.lconv = m.crt_alloc(48, struct.pack("<10I", point, *[empty] * 9) + b"\x7f" * 8)
        self.module_handles = {name: HANDLES + 0x1000 * (n + 1)
                               for n, name in enumerate(self.SYSTEM_MODULES)}

    def resolve(self, dll, name):
        if dll.lower() == "msvcrt.dll":
            if name == "_iob":
                return ("data", self.iob)
            if name == "__mb_cur_max":
                return ("data", self.mb_cur_max)
            if name == "_initterm":
                return ("code", INITTERM)
        return self.answers.get((dll.lower(), name))

    def open_files(self):
        return len(self.files)

    # KERNEL32: errors, thread-local storage, locks

    @kernel32("GetLastError", 0)
    def get_last_error(self):
        return self.last_error

    @kernel32("SetLastError", 1)
    def set_last_error(self, value):
        self.last_error = value

    @kernel32("TlsAlloc", 0)
    def tls_alloc(self):
        index = self.tls_next
        self.tls_next += 1
        self.tls[index] = 0
        return index

    @kernel32("TlsGetValue", 1)
    def tls_get_value(self, index):
        if index not in self.tls:
            raise Fault("TlsGetValue(%d): no such slot" % index)
        self.last_error = 0
        return self.tls[index]

    @kernel32("TlsSetValue", 2)
    def tls_set_value(self, index, value):
        if index not in self.tls:
            raise Fault("TlsSetValue(%d): no such slot" % index)
        self.tls[index] = value
        return 1

    # One thread: a critical section is never contended, but its use must
    # balance; a semaphore is made (GCC's mutexes), never waited on.

    @kernel32("InitializeCriticalSection", 1)
    def initialize_critical_section(self, section):
        self.critical_sections[section] = 0

    @kernel32("EnterCriticalSection", 1)
    def enter_critical_section(self, section):
        if section not in self.critical_sections:
            raise Fault("EnterCriticalSection(0x%08x): not initialised" % section)
        self.critical_sections[section] += 1

    @kernel32("LeaveCriticalSection", 1)
    def leave_critical_section(self, section):
        if not self.critical_sections.get(section):
            raise Fault("LeaveCriticalSection(0x%08x): not entered" % section)
        self.critical_sections[section] -= 1

    @kernel32("DeleteCriticalSection", 1)
    def delete_critical_section(self, section):
        self.critical_sections.pop(section, None)

    @kernel32("CreateSemaphoreW", 4)
    def create_semaphore(self, attributes, initial, maximum, name):
        handle = self.handle_next
        self.handle_next += 4
        self.semaphores[handle] = initial
        return handle

    @kernel32("CloseHandle", 1)
    def close_handle(self, handle):
        return 1 if self.semaphores.pop(handle, None) is not None else 0

    # KERNEL32: modules

    def _module_handle(self, name):
        if name is None:
            return HANDLES  # the host's own program
        key = name.lower()
        if not key.endswith(".dll"):
            key += ".dll"
        if key in self.module_handles:
            return self.module_handles[key]
        if key == os.path.basename(self.m.dll_path).lower():
            return self.m.base
        self.last_error = ERROR_MOD_NOT_FOUND
        return 0

    @kernel32("GetModuleHandleA", 1)
    def get_module_handle_a(self, name):
        return self._module_handle(self.m.cstring(name).decode("latin-1") if name else None)

    @kernel32("GetModuleHandleW", 1)
    def get_module_handle_w(self, name):
        return self._module_handle(self._wide(name) if name else None)

    @kernel32("GetProcAddress", 2)
    def get_proc_address(self, module, name):
        if name < 0x10000:
            raise Fault("GetProcAddress by ordinal %d" % name)
        text = self.m.cstring(name).decode("latin-1")
        dll = next((d for d, h in self.module_handles.items() if h == module), None)
        if dll is None:
            raise Fault("GetProcAddress(0x%08x, %s): not a module the harness knows" % (
                module, text))
        self.lookups.append((dll, text))
        answer = self.answers.get((dll, text))
        # A function the harness does not answer gets a thunk all the same: the
        # call, if it comes, fails and names it.
        return self.m.add_thunk(dll, text, answer)

    def _wide(self, address):
        out = []
        while True:
            unit = struct.unpack("<H", self.m.read(address + 2 * len(out), 2))[0]
            if unit == 0:
                return "".join(out)
            out.append(chr(unit))

    # msvcrt: the runtime's own functions

    @msvcrt("___lc_codepage_func", 0)
    def lc_codepage(self):
        return 0  # the "C" locale

    @msvcrt("_errno", 0)
    def errno_address(self):
        return self.errno

    def _set_errno(self, error):
        self.m.w32(self.errno, ERRNO.get(error, 5))

    @msvcrt("_amsg_exit", 1)
    def amsg_exit(self, code):
        raise Fault("_amsg_exit(%d): the C runtime ended the process" % code)

    @msvcrt("abort", 0)
    def abort(self):
        raise Fault("abort()")

    @msvcrt("_lock", 1)
    def lock(self, number):
        pass

    @msvcrt("_unlock", 1)
    def unlock(self, number):
        pass

    @msvcrt("localeconv", 0)
    def localeconv(self):
        return self.lconv

    @msvcrt("malloc", 1)
    def malloc(self, size):
        return self.m.heap.allocate(size, self.m.caller)

    @msvcrt("calloc", 2)
    def calloc(self, count, size):
        total = count * size
        if total >= 1 << 32:
            return 0
        address = self.m.heap.allocate(total, self.m.caller)
        if address and total:
            self.m.write(address, b"\0" * total)
        return address

    @msvcrt("free", 1)
    def free(self, address):
        self.m.heap.free(address)

    # msvcrt: memory and strings

    @msvcrt("memcpy", 3)
    def memcpy(self, to, source, size):
        if size:
            self.m.write(to, self.m.read(source, size))
        return to

    @msvcrt("memmove", 3)
    def memmove(self, to, source, size):
        return self.memcpy(to, source, size)  # the bytes are read whole before they are written

    @msvcrt("memset", 3)
    def memset(self, to, value, size):
        if size:
            self.m.write(to, bytes([value & 0xFF]) * size)
        return to

    @msvcrt("memcmp", 3)
    def memcmp(self, first, second, size):
        # The sign of the first differing byte, as unsigned chars; 0 when equal.
        a, b = self.m.read(first, size), self.m.read(second, size)
        for x, y in zip(a, b):
            if x != y:
                return 1 if x > y else 0xFFFFFFFF
        return 0

    @msvcrt("memchr", 3)
    def memchr(self, address, value, size):
        # Block by block, as far as the byte: `size` may reach past the memory
        # that holds it.
        done = 0
        while done < size:
            at = address + done
            chunk = self.m.read(at, min(size - done, 0x1000 - at % 0x1000))
            found = chunk.find(bytes([value & 0xFF]))
            if found >= 0:
                return at + found
            done += len(chunk)
        return 0

    @msvcrt("strcmp", 2)
    def strcmp(self, first, second):
        a, b = self.m.cstring(first), self.m.cstring(second)
        return 0 if a == b else (1 if a > b else 0xFFFFFFFF)

    @msvcrt("strlen", 1)
    def strlen(self, address):
        return len(self.m.cstring(address))

    @msvcrt("fopen", 2)
    def fopen(self, path, mode):
        name, how = self.m.cstring(path), self.m.cstring(mode)
        if how not in (b"r", b"rb"):
            raise Fault("fopen(%r, %r): the module opens a file for writing" % (name, how))
        try:
            handle = open(os.fsdecode(name), "rb")
        except OSError as error:
            self._set_errno(error.errno)
            return 0
        record = self.file_records.pop() if self.file_records else self.m.crt_alloc(32)
        self.m.write(record, b"\0" * 32)
        fd = 3
        while any(fd == f[1] for f in self.files.values()):
            fd += 1
        self.m.w32(record + 16, fd)
        self.files[record] = [handle, fd]
        return record

    def _file(self, record):
        if record not in self.files:
            raise Fault("FILE* 0x%08x is not an open file" % record)
        return self.files[record]

    @msvcrt("setvbuf", 4)
    def setvbuf(self, record, buffer, mode, size):
        self._file(record)
        return 0

    @msvcrt("_fileno", 1)
    def fileno(self, record):
        return self._file(record)[1]

    @msvcrt("_fstati64", 2)
    def fstati64(self, fd, status):
        handle = next((f[0] for f in self.files.values() if f[1] == fd), None)
        if handle is None:
            self.m.w32(self.errno, 9)  # EBADF
            return 0xFFFFFFFF
        s = os.fstat(handle.fileno())
        mode = 0x8000 | 0x1B6 if os.path.isfile(handle.name) else 0x4000 | 0x1FF
        times = [int(t) & 0xFFFFFFFF for t in (s.st_atime, s.st_mtime, s.st_ctime)]
        # struct _stati64 of 32-bit msvcrt: st_dev, st_ino, st_mode, st_nlink,
        # st_uid, st_gid, st_rdev, 64-bit st_size at 24, times at 32.
        record = struct.pack("<IHHhhhxxIxxxxq3Ixxxx", 0, 0, mode, 1, 0, 0, 0, s.st_size, *times)
        self.m.write(status, record)
        return 0

    @msvcrt("fread", 4)
    def fread(self, buffer, size, count, record):
        handle = self._file(record)[0]
        total = size * count
        if total == 0:
            return 0
        data = handle.read(total)
        self.m.write(buffer, data)
        return len(data) // size

    @msvcrt("fclose", 1)
    def fclose(self, record):
        handle, _ = self.files.pop(record, (None, None))
        if handle is None:
            raise Fault("fclose(0x%08x): not an open file" % record)
        handle.close()
        self.file_records.append(record)
        return 0

    # USER32 and COMDLG32: the run's dialogs

    @answer("user32.dll", "MessageBoxA", 4)
    def message_box(self, owner, text, caption, kind):
        if self.session is None:
            raise Fault("a message box outside a run")
        self.session.messages.append(self.m.cstring(text))
        return 1  # IDOK

    @answer("comdlg32.dll", "GetOpenFileNameA", 1)
    def get_open_file_name(self, ofn):
        session = self.session
        if session is None:
            raise Fault("the open-file dialog outside a run")
        session.dialogs += 1
        # OPENFILENAMEA as 32-bit Windows lays it out: lStructSize at 0,
        # lpstrFile at 28, nMaxFile at 32, lpstrFileTitle at 36,
        # nMaxFileTitle at 40, nFileOffset and nFileExtension at 56 and 58.
        size, = struct.unpack("<I", self.m.read(ofn, 4))
        if size < 76:
            session.dialog_problems.append("lStructSize %d, less than the 76 bytes of the "
                                           "record's first form" % size)
            return 0
        fields = struct.unpack("<11I", self.m.read(ofn, 44))
        file_buffer, capacity, title_buffer, title_capacity = fields[7:11]
        if session.answer is None:
            return 0
        path = session.answer
        if file_buffer == 0 or len(path) >= capacity:
            session.dialog_problems.append("no room for a %d-byte path (nMaxFile %d)" % (
                len(path), capacity))
            return 0
        self.m.write(file_buffer, path + b"\0")
        name_at = path.rfind(b"/") + 1
        dot = path.rfind(b".")
        extension = dot + 1 if dot > name_at else len(path)
        self.m.write(ofn + 56, struct.pack("<HH", name_at, extension))
        if title_buffer and len(path) - name_at < title_capacity:
            self.m.write(title_buffer, path[name_at:] + b"\0")
        return 1
