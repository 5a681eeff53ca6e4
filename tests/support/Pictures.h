#pragma once

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QString>

namespace marrowick::test {

// Writes `image` as <name>.png into the folder MARROWICK_SCREENSHOTS names, so a person can look
// at it without a desktop. True when written or when no folder is named.
inline bool saveScreenshot(const QImage &image, const QString &name)
{
    const QString folder = qEnvironmentVariable("MARROWICK_SCREENSHOTS");
    if (folder.isEmpty())
        return true;
    return QDir().mkpath(folder) && image.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

// A light or dark theme's palette, as a desktop with that Qt theme hands it over.
inline QPalette themePalette(bool dark)
{
    QPalette palette;
    for (const auto role : {QPalette::Window, QPalette::Button, QPalette::AlternateBase})
        palette.setColor(role, dark ? QColor(0x35, 0x35, 0x35) : QColor(0xEF, 0xEF, 0xEF));
    palette.setColor(QPalette::Base, dark ? QColor(0x2A, 0x2A, 0x2A) : QColor(Qt::white));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, dark ? QColor(Qt::white) : QColor(Qt::black));
    // Prompts as themes draw them, text at half strength; Qt lets the style polish a theme's
    // palette before any window takes it.
    QColor prompt = palette.color(QPalette::Text);
    prompt.setAlpha(128);
    palette.setColor(QPalette::PlaceholderText, prompt);
    QApplication::style()->polish(palette);
    return palette;
}

// The desktop in a light or dark theme for a while: windows and their popups take it, and the
// theme before comes back however the test ends.
class DesktopTheme {
public:
    explicit DesktopTheme(bool dark) : m_before(QApplication::palette()) { QApplication::setPalette(themePalette(dark)); }
    ~DesktopTheme() { QApplication::setPalette(m_before); }
    DesktopTheme(const DesktopTheme &) = delete;
    DesktopTheme &operator=(const DesktopTheme &) = delete;

private:
    QPalette m_before;
};

} // namespace marrowick::test
