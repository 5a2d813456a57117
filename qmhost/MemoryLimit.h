// The memory each model that qmhost makes may hold (the host library's
// qmModel_SetMemoryLimit): a file can describe a model far larger than
// itself, and past the limit its import ends with the plug-in's
// out-of-memory message and the model built so far, instead of the machine
// running out of memory.
#ifndef QMHOST_MEMORYLIMIT_H
#define QMHOST_MEMORYLIMIT_H

#include <cstdint>
#include <string>

#include "qmModelLib.h"

// Half of the memory qmhost may use: the machine's physical memory, or the
// limit of qmhost's control group when that is lower. The other half is for
// what the import holds beside the model (the file and its pools, up to twice
// the file) and for the save or the picture that follows.
std::uint64_t DefaultMemoryLimit();

// The lowest memory limit on qmhost's control groups, read from the list of
// its groups (/proc/self/cgroup) and their files under `root`
// (/sys/fs/cgroup): version 2's memory.max and version 1's
// memory.limit_in_bytes, of the group and of each group above it. 0 when
// none is set.
std::uint64_t ControlGroupMemoryLimit(const std::string& groupsFile, const std::string& root);

// Parses a size given on the command line: a whole number of bytes, or of
// K, M, G or T (powers of 1024; KB, KiB and lower case too), e.g. "512M",
// "2G", "1048576". False for anything else, for 0, and for a size past 2^64.
bool ParseMemorySize(const std::string& text, std::uint64_t& bytes);

// The size in the largest unit that keeps it 1 or more: "512 MiB", "1.5 GiB",
// "100 bytes".
std::string MemorySizeText(std::uint64_t bytes);

// What to say when `model` reached `limit`: a sentence naming the limit and
// the option that changes it; empty when the model did not reach it.
std::string MemoryLimitNote(const qmModel* model, std::uint64_t limit);

#endif  // QMHOST_MEMORYLIMIT_H
