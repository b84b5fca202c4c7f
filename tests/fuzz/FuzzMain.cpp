// The libFuzzer entry of one target; SKERROW_FUZZ_CHECK names its check.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString failure =
        FuzzChecks::SKERROW_FUZZ_CHECK(QByteArrayView(data, static_cast<qsizetype>(size)));
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", failure.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
