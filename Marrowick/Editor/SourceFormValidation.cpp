// How SourceFormState judges itself and turns into a configuration.
#include "Marrowick/Editor/SourceFormState.h"

#include "MarrowickKit/Model/DecimalText.h"
#include "MarrowickKit/Model/PollInterval.h"
#include "MarrowickKit/Model/UuidText.h"
#include "MarrowickKit/Transport/HostAddressText.h"
#include "MarrowickKit/Transport/RequestURL.h"

#include <QRegularExpression>
#include <QUrl>

namespace marrowick {

namespace {

// RFC 3986 reading: nothing when the text is not a URL reference.
std::optional<QUrl> urlComponents(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

bool hasUserInfo(const QUrl &url)
{
    return !url.userName().isEmpty() || !url.password().isEmpty();
}

bool urlHasHost(const QString &text)
{
    const auto url = urlComponents(text);
    return url && !url->host().isEmpty();
}

// Also without the slashes ("http:/nas.lan/"): such a text is a URL of its own, never a bare
// host to put "https://" before.
bool startsWithHTTPScheme(const QString &text)
{
    const QString lower = text.toLower();
    return lower.startsWith(QLatin1String("http:")) || lower.startsWith(QLatin1String("https:"));
}

bool containsSpace(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar ch) { return ch.isSpace(); });
}

} // namespace

bool SourceFormState::schemeIsImplied() const
{
    if (baseURL.isEmpty() || startsWithHTTPScheme(baseURL) || urlHasHost(baseURL))
        return false;
    const auto withScheme = urlComponents(QStringLiteral("https://") + baseURL);
    return withScheme && !withScheme->host().isEmpty() && !hasUserInfo(*withScheme);
}

std::optional<QString> SourceFormState::impliedHTTPSURL() const
{
    if (!schemeIsImplied())
        return std::nullopt;
    return QStringLiteral("https://") + baseURL;
}

// Also where the rest of the text does not parse ("http://user:p@ss@host/"): a poll would refuse
// it for its password, not show the password in a "bad URL" text.
bool SourceFormState::embeddedCredentialInURL() const
{
    if (baseURL.isEmpty())
        return false;
    const auto url = urlComponents(baseURL);
    return (url && hasUserInfo(*url)) || namesUserInfo(baseURL);
}

bool SourceFormState::unusableURLScheme() const
{
    if (baseURL.isEmpty())
        return false;
    const auto url = urlComponents(baseURL);
    if (!url || url->scheme().isEmpty())
        return false;
    const QString scheme = url->scheme().toLower();
    return scheme != QLatin1String("http") && scheme != QLatin1String("https") && !schemeIsImplied();
}

bool SourceFormState::missingHost() const
{
    return !baseURL.isEmpty() && !startsWithHTTPScheme(baseURL) && !schemeIsImplied() && !urlHasHost(baseURL);
}

std::optional<URLFault> SourceFormState::urlFault() const
{
    if (baseURL.isEmpty())
        return std::nullopt;
    const URLFault fault = requestURLFault(urlValue());
    return fault == URLFault::none ? std::nullopt : std::optional(fault);
}

std::optional<SourceFormState::HostPort> SourceFormState::impliedHostPortSplit() const
{
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty() || containsSpace(trimmed))
        return std::nullopt;
    // An IPv6 address in brackets, then its port, as in a URL: "[::1]:22".
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        const auto port = close > 0 && trimmed.mid(close + 1, 1) == QLatin1String(":")
                              ? parsePortNumber(QStringView(trimmed).mid(close + 2))
                              : std::nullopt;
        if (!port || !hostAddress(trimmed.left(close + 1)))
            return std::nullopt;
        return HostPort{trimmed.sliced(1, close - 1), QString::number(*port)};
    }
    const qsizetype colon = trimmed.indexOf(QLatin1Char(':'));
    if (colon <= 0 || trimmed.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return std::nullopt;
    const auto port = parsePortNumber(QStringView(trimmed).mid(colon + 1));
    if (!port)
        return std::nullopt;
    return HostPort{trimmed.left(colon), QString::number(*port)};
}

bool SourceFormState::hostIsInvalid() const
{
    if (host.isEmpty() || impliedHostPortSplit())
        return false;
    const QString trimmed = host.trimmed();
    if (trimmed.isEmpty() || containsSpace(trimmed))
        return true;
    static const QRegularExpression schemePrefix(QStringLiteral("^[a-zA-Z][a-zA-Z0-9+.-]*://"));
    if (schemePrefix.match(trimmed).hasMatch())
        return true;
    // An IPv6 address is a plain IP, with or without the brackets of a URL.
    return trimmed.contains(QLatin1Char(':')) && !hostAddress(trimmed);
}

QString SourceFormState::missingHostMessage()
{
    return QStringLiteral("Enter a full URL including a host, e.g. ") + exampleURL + QLatin1Char('.');
}

// What the URL needs for a poll to reach its server; the text stays as typed.
QString SourceFormState::urlFaultMessage(URLFault fault)
{
    switch (fault) {
    case URLFault::spaceAtEnd:
        return QStringLiteral("Remove the space at the start or end of the URL.");
    case URLFault::space:
        return QStringLiteral("Remove the spaces from the URL; in a path, write a space as %20.");
    case URLFault::scheme:
        return QStringLiteral("Enter a full URL starting with http:// or https://.");
    case URLFault::host:
        return missingHostMessage();
    case URLFault::port:
        return QStringLiteral("Enter a port between 1 and 65535 after the host, or none.");
    case URLFault::none:
    case URLFault::malformed:
        break;
    }
    return QStringLiteral("Enter a valid URL, e.g. ") + exampleURL + QLatin1Char('.');
}

std::optional<double> SourceFormState::parsedPollInterval() const
{
    const auto seconds = parseDecimalInt64(pollSeconds.trimmed());
    if (!seconds || *seconds < PollInterval::minimum || *seconds > PollInterval::maximum)
        return std::nullopt;
    return static_cast<double>(*seconds);
}

qint64 SourceFormState::clampedAlertThreshold(qint64 value)
{
    return std::clamp(value, alertThresholdMinimum, alertThresholdMaximum);
}

std::optional<SourceFormState::Problem> SourceFormState::validationProblem() const
{
    if (embeddedCredentialInURL())
        return Problem{Field::baseURL,
                       QStringLiteral("The URL contains a username/password. Remove it and use the username/token "
                                      "field(s) below instead.")};
    // A space is the reason wherever it is, before what the URL then seems to lack.
    const auto fault = urlFault();
    if (fault == URLFault::spaceAtEnd || fault == URLFault::space)
        return Problem{Field::baseURL, urlFaultMessage(*fault)};
    if (unusableURLScheme())
        return Problem{Field::baseURL, urlFaultMessage(URLFault::scheme)};
    if (missingHost())
        return Problem{Field::baseURL, missingHostMessage()};
    if (fault)
        return Problem{Field::baseURL, urlFaultMessage(*fault)};
    if (hostIsInvalid())
        return Problem{Field::host, QStringLiteral("Enter a plain host or IP, like ") + exampleHost
                                        + QStringLiteral(" or ") + exampleIPv4
                                        + QStringLiteral(" \u2014 no spaces, line breaks, or scheme.")};
    if (!parsedPollInterval())
        return Problem{Field::pollSeconds, QStringLiteral("Enter a check interval between %1 and %2 seconds.")
                                               .arg(qint64(PollInterval::minimum))
                                               .arg(qint64(PollInterval::maximum))};
    if (queryPortIsInvalid())
        return Problem{Field::gameQueryPort, QStringLiteral("Enter a query port between 1 and 65535, or leave it blank.")};
    return std::nullopt;
}

std::optional<QString> SourceFormState::validationMessage() const
{
    const auto problem = validationProblem();
    return problem ? std::optional(problem->message) : std::nullopt;
}

// What a well-formed form still lacks, field by field.
std::optional<QString> SourceFormState::missingFieldMessage() const
{
    if (trimmedSpacesAndTabs(displayName).isEmpty())
        return QStringLiteral("Enter a name.");
    const bool haveSecret = !secret.isEmpty() || hasStoredSecret;
    const QString noURL = type == SourceType::kuma || type == SourceType::beszel ? QStringLiteral("Enter the server URL.")
                                                                                 : QStringLiteral("Enter a URL.");
    switch (type) {
    case SourceType::kuma:
        if (baseURL.isEmpty())
            return noURL;
        if ((username.isEmpty() || !haveSecret) && statusPageSlug.isEmpty())
            return QStringLiteral("Enter a username and password, or a status page slug.");
        return std::nullopt;
    case SourceType::beszel:
        if (baseURL.isEmpty())
            return noURL;
        if (!haveSecret)
            return QStringLiteral("Enter the API token.");
        return std::nullopt;
    case SourceType::httpPing:
    case SourceType::jsonWidget:
        if (baseURL.isEmpty())
            return noURL;
        if (type == SourceType::jsonWidget && jsonFields.isEmpty())
            return QStringLiteral("Enter at least one field.");
        return std::nullopt;
    case SourceType::tcpPort:
    case SourceType::gameServer:
        break;
    }
    if (hostValue().isEmpty())
        return QStringLiteral("Enter a host.");
    if (!portValue())
        return QStringLiteral("Enter a port between 1 and 65535.");
    if (gameCredentialUse() == GameDefinition::CredentialUse::required && !haveSecret)
        return QStringLiteral("Enter the admin password.");
    return std::nullopt;
}

QString SourceFormState::hostValue() const
{
    const auto split = impliedHostPortSplit();
    return split ? split->host : unbracketedHost(host.trimmed());
}

std::optional<quint16> SourceFormState::portValue() const
{
    const auto split = impliedHostPortSplit();
    return parsePortNumber(split ? split->port : m_port);
}

// Valid when nothing is malformed and nothing is missing: the two messages name the first fault.
bool SourceFormState::isValid() const
{
    return !validationProblem() && !missingFieldMessage();
}

std::optional<QString> SourceFormState::newCredentialRef(const QUuid &id) const
{
    if (secret.isEmpty() && !hasStoredSecret)
        return std::nullopt;
    // An edited source keeps the name its secret is stored under, whatever form it has.
    if (storedCredentialRef)
        return storedCredentialRef;
    return rawValue(type) + QLatin1Char('-') + uuidText(id);
}

std::optional<QString> SourceFormState::credentialRef(const QUuid &id) const
{
    switch (type) {
    case SourceType::kuma:
    case SourceType::beszel:
    case SourceType::jsonWidget:
        return newCredentialRef(id);
    case SourceType::httpPing:
    case SourceType::tcpPort:
        return std::nullopt;
    case SourceType::gameServer:
        break;
    }
    const auto found = game();
    if (found
        && (found->engine() == GameDefinition::Engine::palworldREST
            || found->engine() == GameDefinition::Engine::fivemHTTP))
        return newCredentialRef(id);
    return std::nullopt;
}

QString SourceFormState::urlValue() const
{
    return impliedHTTPSURL().value_or(baseURL);
}

std::optional<AnySourceConfig> SourceFormState::buildConfig(const QUuid &id) const
{
    const auto interval = parsedPollInterval();
    if (!isValid() || !interval)
        return std::nullopt;

    const auto common = [&](SourceConfig &config) {
        config.pollInterval = *interval;
        config.alertsEnabled = alertsEnabled;
        config.alertThreshold = clampedAlertThreshold(alertThreshold);
    };
    const QString name = trimmedSpacesAndTabs(displayName);
    const auto optionalText = [](const QString &text) { return text.isEmpty() ? std::nullopt : std::optional(text); };

    switch (type) {
    case SourceType::kuma: {
        KumaConfig config(id, name, urlValue(), optionalText(username), credentialRef(id), optionalText(statusPageSlug));
        common(config);
        return config;
    }
    case SourceType::beszel: {
        BeszelConfig config(id, name, urlValue(), credentialRef(id).value_or(QString()));
        common(config);
        return config;
    }
    case SourceType::gameServer: {
        const auto found = game();
        const bool a2s = found && found->engine() == GameDefinition::Engine::a2s;
        const bool web = found && found->usesHTTP();
        std::optional<qint64> queryPort;
        if (a2s && parsedQueryPort())
            queryPort = *parsedQueryPort();
        GameServerConfig config(id, name, gameID, hostValue(), *portValue(), queryPort, credentialRef(id),
                                web && useTLS);
        common(config);
        return config;
    }
    case SourceType::httpPing: {
        HTTPPingConfig config(id, name, urlValue());
        config.expectedStatus = expectedStatus;
        common(config);
        return config;
    }
    case SourceType::tcpPort: {
        TCPPortConfig config(id, name, hostValue(), *portValue());
        common(config);
        return config;
    }
    case SourceType::jsonWidget:
        break;
    }
    JSONWidgetConfig config(id, name, urlValue(), credentialRef(id), jsonFields);
    common(config);
    return config;
}

} // namespace marrowick
