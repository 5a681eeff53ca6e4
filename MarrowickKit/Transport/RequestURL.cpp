#include "MarrowickKit/Transport/RequestURL.h"

namespace marrowick {

std::optional<QUrl> requestURL(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))
        return std::nullopt;
    return url;
}

std::optional<QUrl> requestURL(const QString &baseURL, const QString &path)
{
    qsizetype start = 0;
    qsizetype end = baseURL.size();
    while (start < end && baseURL[start] == u'/')
        ++start;
    while (end > start && baseURL[end - 1] == u'/')
        --end;
    return requestURL(baseURL.sliced(start, end - start) + path);
}

} // namespace marrowick
