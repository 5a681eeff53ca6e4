#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace marrowick {

// The URL of a request to a user's server: an http or https URL with a host, read strictly, or
// nothing. A text that merely parses ("localhost:3001", "nas/metrics") is not a server address.
std::optional<QUrl> requestURL(const QString &text);

// `baseURL` without any "/" at either end, followed by `path` (which starts with "/"), as a
// request URL; nothing when that is not one.
std::optional<QUrl> requestURL(const QString &baseURL, const QString &path);

} // namespace marrowick
