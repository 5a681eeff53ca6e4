#pragma once

#include "State/AppStateRig.h"

#include "Marrowick/State/SourcesStore.h"
#include "Marrowick/Popover/PopoverView.h"
#include "MarrowickKit/Model/ProviderError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QLabel>

#include <variant>

namespace marrowick::test {

// An AppState whose sources answer with the widgets (or the error) a test sets for them, at
// the virtual clock's time, and a popup over it. Sources poll every 60 virtual seconds.
struct PopoverRig : AppStateRig {
    using Answer = std::variant<QList<WidgetData>, QString>;
    QHash<QUuid, Answer> answers;
    std::unique_ptr<PopoverView> popover;

    ~PopoverRig() { popover.reset(); }

    class Provider : public SourceProvider {
    public:
        Provider(PopoverRig *rig, QUuid id) : m_rig(rig), m_id(id) {}
        QCoro::Task<SourceSnapshot> fetch(CancelToken) override
        {
            const Answer answer = m_rig->answers.value(m_id, QList<WidgetData>());
            if (const QString *error = std::get_if<QString>(&answer))
                throw ProviderError::upstream(*error);
            co_return SourceSnapshot{m_id, m_rig->clock.now(), std::get<QList<WidgetData>>(answer)};
        }

    private:
        PopoverRig *m_rig;
        QUuid m_id;
    };

    // Builds the state over `sources`, lets every source answer once (unless `polling` is off)
    // and shows the popup.
    PopoverView &open(const QList<AnySourceConfig> &sources, bool show = true, bool polling = true)
    {
        SourcesStore::save(sources, folder());
        state = std::make_unique<AppState>(AppStateServices{
            credentials, folder(), settings.get(), alerts,
            [this](const AnySourceConfig &config, CredentialStoreHandle) -> std::unique_ptr<SourceProvider> {
                return std::make_unique<Provider>(this, config.id());
            },
            clock.sleepFunction(), clock.nowFunction(), clock.bootClock(), !polling, network});
        // The first polls of a large set start a few virtual milliseconds apart.
        clock.advance(1);
        popover = std::make_unique<PopoverView>(state.get());
        popover->setClock(clock.nowFunction());
        if (show) {
            popover->show();
            clock.settle();
        }
        return *popover;
    }

    // Lets every source poll again and draws the result.
    void pollAll()
    {
        clock.advance(60);
        popover->flushPendingChanges();
    }
};

template<typename T = QWidget>
T *find(const QWidget &root, const QString &name)
{
    return root.findChild<T *>(name);
}

// The texts of the visible labels with this object name, in creation order.
inline QStringList visibleTexts(const QWidget &root, const QString &name)
{
    QStringList texts;
    for (const QLabel *label : root.findChildren<QLabel *>(name)) {
        if (label->isVisible())
            texts.append(label->text());
    }
    return texts;
}

inline AnySourceConfig tcp(const QString &name, QUuid id = QUuid::createUuid())
{
    return TCPPortConfig(id, name, QStringLiteral("127.0.0.1"), 22);
}

inline WidgetData checkWidget(const QString &id, ServiceStatus status, std::optional<double> latency = 20,
                              std::optional<QString> detail = std::nullopt)
{
    return WidgetData::check(CheckResult{id, id, status, latency, detail});
}

} // namespace marrowick::test
