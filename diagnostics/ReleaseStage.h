#pragma once
// The build's release stage, worked out from the application's version text: "main" for the
// main-line build, year-numbered versions (2024.3.1) for daily builds, everything else a
// production build, and no version at all a debug build. No version yields beta.

#include <QString>

#include <optional>

namespace QMDiagnostics {

enum class ReleaseStage { debug, main, daily, beta, production };

// The text given to the error reporter: the case name.
QString releaseStageName(ReleaseStage stage);

// version: the application's version text; nothing when it has none.
ReleaseStage releaseStageForVersion(const std::optional<QString>& version);

} // namespace QMDiagnostics
