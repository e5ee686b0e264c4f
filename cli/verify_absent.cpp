// Only in vornelic-cli, which is built without the decoding and fingerprinting libraries. main.cpp
// hands every command given --verify to vornelic-cli-devices before it runs, so these answer only
// a caller that bypassed it, and say so rather than letting an unchecked pair through.
#include "cli/verify_option.h"

namespace vn::cli {

namespace {

const QString NotHere = QStringLiteral("--verify is carried out by vornelic-cli-devices\n");

} // namespace

std::vector<QString> matchColumn(Context&, const ComparisonState& state)
{
    printErr(NotHere);
    return std::vector<QString>(state.rows.size(), QStringLiteral("-"));
}

int refuseMismatches(Context&, const ComparisonState&, const PairList&, bool)
{
    printErr(NotHere);
    return ExitFailure;
}

} // namespace vn::cli
