#pragma once

#include "State/AppStateRig.h"
#include "Marrowick/Editor/AddSourceView.h"
#include "Marrowick/Editor/LabeledFields.h"

#include "support/ScriptedCredentialStore.h"
#include "support/StorageFaults.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

namespace marrowick::test {

// Every poll of every source reports these three checks.
class ThreeWidgetProvider : public SourceProvider {
public:
    explicit ThreeWidgetProvider(QUuid id) : m_id(id) {}

    static inline const QStringList names{QStringLiteral("CPU"), QStringLiteral("Disk"), QStringLiteral("Memory")};

    QCoro::Task<SourceSnapshot> fetch(CancelToken) override
    {
        QList<WidgetData> widgets;
        for (const QString &name : names) {
            CheckResult check;
            check.id = name.toLower();
            check.name = name;
            check.status = ServiceStatus::up;
            widgets.append(WidgetData::check(check));
        }
        co_return SourceSnapshot{m_id, Instant{}, widgets};
    }

private:
    QUuid m_id;
};

// An AppState over a scripted keyring whose sources report three widgets, and the sheet
// driven through its widgets by object name.
struct EditorRig : AppStateRig {
    std::shared_ptr<ScriptedCredentialStore> keyring = std::make_shared<ScriptedCredentialStore>();
    QPointer<AddSourceView> sheet;

    AppState &buildEditorState()
    {
        const ProviderFactory factory = [](const AnySourceConfig &config, CredentialStoreHandle) {
            return std::make_unique<ThreeWidgetProvider>(config.id());
        };
        state = std::make_unique<AppState>(AppStateServices{keyring, folder(), settings.get(), alerts, factory,
                                                            clock.sleepFunction(), clock.nowFunction(), clock.bootClock(), false, nullptr});
        return *state;
    }

    ~EditorRig() { delete sheet.data(); }

    AddSourceView &open(std::optional<AnySourceConfig> editing = std::nullopt)
    {
        if (!state)
            buildEditorState();
        sheet = new AddSourceView(state.get(), std::move(editing));
        sheet->show();
        return *sheet;
    }

    template<typename T = QWidget>
    T *find(const QString &name) const
    {
        T *found = sheet ? sheet->findChild<T *>(name) : nullptr;
        // Pages replaced by a step change are deleted later; only the one on screen counts.
        if (found && !found->isVisibleTo(sheet)) {
            for (T *candidate : sheet->findChildren<T *>(name)) {
                if (candidate->isVisibleTo(sheet))
                    return candidate;
            }
        }
        return found;
    }

    void click(const QString &name) const
    {
        QWidget *widget = find(name);
        QVERIFY2(widget, qPrintable(name));
        // A check box takes clicks on its box and label only.
        const QPoint at = qobject_cast<QCheckBox *>(widget) ? QPoint(6, widget->height() / 2) : widget->rect().center();
        QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    }

    // Replaces the field's text as a user would: select all, then type.
    void type(const QString &name, const QString &text) const
    {
        auto *field = find<LabeledTextField>(name);
        QVERIFY2(field, qPrintable(name));
        QTest::keyClick(field->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        if (text.isEmpty())
            QTest::keyClick(field->lineEdit(), Qt::Key_Delete);
        else
            QTest::keyClicks(field->lineEdit(), text);
    }

    void pickGame(const QString &gameID) const
    {
        auto *picker = find<QComboBox>(QStringLiteral("editor.gamePicker"));
        QVERIFY(picker);
        auto *model = qobject_cast<QStandardItemModel *>(picker->model());
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->item(row)->data(Qt::UserRole + 1).toString() == gameID) {
                picker->setCurrentIndex(row);
                emit picker->activated(row);
                return;
            }
        }
        QFAIL(qPrintable(QStringLiteral("game not listed: ") + gameID));
    }

    // "field=text" steps; "game=<id>" picks a game, "jsonFields=<text>" types into the editor.
    void fill(const QStringList &steps, const QString &port = {}) const
    {
        for (QString step : steps) {
            step.replace(QStringLiteral("%PORT"), port);
            const qsizetype eq = step.indexOf(QLatin1Char('='));
            const QString field = step.left(eq);
            const QString text = step.mid(eq + 1);
            if (field == QLatin1String("game")) {
                pickGame(text);
            } else if (field == QLatin1String("jsonFields")) {
                auto *editor = find<QPlainTextEdit>(QStringLiteral("editor.jsonFields"));
                QVERIFY(editor);
                QTest::keyClicks(editor, text);
            } else {
                type(QStringLiteral("editor.") + field, text);
            }
        }
    }

    // Adds a Beszel hub through the sheet over a keyring that fails with `keyringFailure`, or
    // with no room for the sources file when it is empty; true once the save has ended and said
    // why.
    bool saveFailing(const QString &keyringFailure)
    {
        buildEditorState();
        std::optional<FileSizeLimit> full;
        if (keyringFailure.isEmpty())
            full.emplace(1);
        else
            keyring->failure = keyringFailure;
        open();
        click(QStringLiteral("editor.type.beszel"));
        click(QStringLiteral("editor.next"));
        fill({"name=Hub", "baseURL=https://hub", "secret=tok"});
        QSignalSpy finished(sheet.data(), &AddSourceView::saveFinished);
        click(QStringLiteral("editor.save"));
        return QTest::qWaitFor([&finished] { return finished.size() == 1; });
    }
};

} // namespace marrowick::test
