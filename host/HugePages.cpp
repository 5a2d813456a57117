// The memory of a qmhost run on 2 MiB pages.
//
// A run of qmhost is a fresh process that fills fresh memory: the file (read
// whole), the import's pools, the model, the save's blocks. On 4 KiB pages a
// 60 MB model takes some 22,000 page faults, each costing microseconds on a
// virtual machine, and they were most of a run's time. The kernel hands out
// 2 MiB pages where a program asks for them (madvise(MADV_HUGEPAGE);
// transparent huge pages are in "madvise" mode on Debian by default); glibc's
// malloc asks only when its tunable is set in the environment, which a
// program cannot set for itself.
//
// So qmhost links jemalloc, which takes over malloc for the whole process
// (the plug-in's file buffer, the host library's model and the savers alike)
// and reads this configuration as it starts: every extent it maps is madvised
// for huge pages ("thp:always"), its own metadata too once there is enough of
// it ("metadata_thp:auto"). A cold import of a 15.5 MB file: 0.30 s on
// glibc's malloc, 0.05 s here (bench/README.md). MALLOC_CONF in the
// environment still overrides it ("thp:default" turns it off).

#include <sys/resource.h>

// Declared as jemalloc declares it.
extern "C" {
__attribute__((visibility("default"))) extern const char* malloc_conf;
const char* malloc_conf = "thp:always,metadata_thp:auto";
}

namespace {

// jemalloc keeps the address space of memory it freed, to map it again for
// whatever comes next ("retain"). Under a limit on the address space (ulimit
// -v) that space counts while it holds nothing: a model that filled the limit
// would leave no room even for the plug-in's message about it, or for the
// save to say it has no memory. There, freed memory goes back at once (and
// comes back in 4 KiB pages). Decided before any library starts, so before
// jemalloc reads its configuration.
void ChooseConfiguration(int, char**, char**) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    malloc_conf = "thp:always,metadata_thp:auto,retain:false";
}

__attribute__((section(".preinit_array"), used)) void (*const kChooseConfiguration)(int, char**,
                                                                                   char**) =
    ChooseConfiguration;

}  // namespace
