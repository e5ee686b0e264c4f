#pragma once
// One harness per parser. In a fuzzing build (clang, -DVORNELIC_FUZZ=ON) each harness file is a
// libFuzzer program of its own; otherwise every harness is linked into fuzz_replay, which feeds
// them the kept regression files, so the same source serves both.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace vn::fuzz {

using Target = int (*)(const uint8_t* data, size_t size);

bool registerTarget(const char* name, Target target);
Target findTarget(const char* name);

// A harness's own check failed: the input is reported and the process aborts, so that libFuzzer
// keeps it as a crash and the replay fails.
[[noreturn]] void fail(const char* what, const char* file, int line);

// The input as bytes of their own (the record's values keep their buffer alive).
QByteArray bytesOf(const uint8_t* data, size_t size);

// A folder of this process's own for harnesses that must go through a file (in memory where the
// system offers a memory file system), removed when the process ends.
const QString& scratchFolder();
// Writes bytes to name in the scratch folder and returns the path.
QString writeScratch(const QString& name, const QByteArray& bytes);

} // namespace vn::fuzz

#define FUZZ_CHECK(cond)                                                                                          \
    do {                                                                                                          \
        if (!(cond))                                                                                              \
            ::vn::fuzz::fail(#cond, __FILE__, __LINE__);                                                          \
    } while (0)

#ifdef VORNELIC_LIBFUZZER
#define VN_FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#else
#define VN_FUZZ_TARGET(name)                                                                                      \
    static int vnFuzz_##name(const uint8_t* data, size_t size);                                                   \
    [[maybe_unused]] static const bool vnFuzzRegistered_##name = ::vn::fuzz::registerTarget(#name, vnFuzz_##name); \
    static int vnFuzz_##name(const uint8_t* data, size_t size)
#endif
