// The Browse buttons beside the file fields: the file dialog they open, where it starts, and
// what the choice does to the field and, after OK, to the settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <optional>
#include <vector>

#include "support/temp_dir.h"
#include "views/qt/qt_host.h"
#include "views/qt/settings_dialogs.h"

namespace zeltrak {
namespace {

struct BrowseCall {
    QString title, filter, startFolder;
};

TEST(BrowseButtons, TheCompensationFieldsBrowseFromTheirEntrysFolderAndTakeTheChoice) {
    QtHost host;
    host.SetQuiet(true);
    testing::TempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    const QString good = QString::fromStdString(dir.File("good.mic"));
    testing::WriteFile(good.toStdString(), "100\t0\n1000\t1\n10000\t2\n");
    const struct {
        const char* field;
        std::string entry;
        std::optional<QString> chosen;  // none: the user cancels
        QString startFolder;
    } cases[] = {
        {"micCompLeft", dir.File("sub/old.mic"), good, QString::fromStdString(dir.File("sub"))},
        {"micCompRight", "", good, ""},
        {"micCompLeft", dir.File("sub/old.mic"), std::nullopt, QString::fromStdString(dir.File("sub"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field + (" " + c.entry));
        ScalingBlock scaling;
        bool squared = false;
        TScalingDialog d(host, scaling, squared);
        std::vector<BrowseCall> calls;
        d.SetFileBrowser([&](const QString& title, const QString& filter, const QString& start) {
            calls.push_back({title, filter, start});
            return c.chosen;
        });
        auto* edit = d.findChild<QLineEdit*>(c.field);
        edit->setText(QString::fromStdString(c.entry));
        auto* browse = d.findChild<QPushButton*>(QString(c.field) + "Browse");
        ASSERT_NE(browse, nullptr);
        browse->click();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].title, "Open Mic Compensation File");
        EXPECT_EQ(calls[0].filter, "Mic Comp Files (*.mic);;Overlay Files (*.ovl)");
        EXPECT_EQ(calls[0].startFolder, c.startFolder);
        EXPECT_EQ(edit->text(), c.chosen.value_or(QString::fromStdString(c.entry)));
        // A chosen file goes through the dialog's own checks like a typed one.
        d.findChild<QCheckBox*>("micCompEnable")->setChecked(true);
        d.show();
        d.accept();
        EXPECT_EQ(!d.isVisible(), c.chosen.has_value());
    }
}

}  // namespace
}  // namespace zeltrak
