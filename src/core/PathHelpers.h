#pragma once

#include <QString>

// The path without one trailing "/"; "/" itself stays "/" (the root has no shorter form).
QString StripTrailingBackslash(const QString& path);

// The root a path hangs from: "/" for an absolute local path; empty for a
// network form ("//server/share/..."), a relative path and an empty path.
QString GetPathRoot(const QString& path);

// folder + "/" + name without doubling the "/" after the root or a trailing "/",
// which would turn "/" + "x" into the network form "//x".
QString JoinPath(const QString& folder, const QString& name);
