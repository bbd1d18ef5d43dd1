#pragma once

// The main window as tests and benchmarks drive it: its controls under their own names, each
// found once, and the gestures that take more than one call.
#include "U_Main.h"
#include "gui/DomainTableModel.h"
#include "gui/PanelStatusBar.h"
#include "gui/ReportListView.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QWebEngineView>

#include <span>
#include <string>
#include <vector>

namespace testsupport {

class MainWindowDriver {
public:
    static constexpr int kProgressPanel = 2;

    explicit MainWindowDriver(TFrm_Main& window)
        : window(window),
          btn1(Find<QPushButton>("btn1")),
          btn2(Find<QPushButton>("btn2")),
          btn3(Find<QPushButton>("btn3")),
          btn4(Find<QPushButton>("btn4")),
          btn6(Find<QPushButton>("btn6")),
          N1(Find<QAction>("N1")),
          N2(Find<QAction>("N2")),
          N3(Find<QAction>("N3")),
          N5(Find<QAction>("N5")),
          N6(Find<QAction>("N6")),
          N8(Find<QAction>("N8")),
          N9(Find<QAction>("N9")),
          N12(Find<QAction>("N12")),
          lv1(Find<gui::ReportListView>("lv1")),
          pm1(Find<QMenu>("pm1")),
          stat1(Find<gui::PanelStatusBar>("stat1")),
          lbl1(Find<QLabel>("lbl1")),
          wb1(Find<QWebEngineView>("wb1")) {}

    TFrm_Main& window;
    QPushButton* const btn1;  // 添加域名: the add dialog
    QPushButton* const btn2;  // 导入域名: the open dialog
    QPushButton* const btn3;  // clears the table
    QPushButton* const btn4;  // 批量查询: starts a batch
    QPushButton* const btn6;  // quits
    QAction* const N1;        // exports all rows
    QAction* const N2;        // exports the filed rows
    QAction* const N3;        // exports the unfiled domains
    QAction* const N5;        // btn1's menu item
    QAction* const N6;        // btn2's menu item
    QAction* const N8;        // quits
    QAction* const N9;        // looks the selected row up again
    QAction* const N12;       // looks the unfinished rows up again
    gui::ReportListView* const lv1;
    QMenu* const pm1;  // the table's popup menu
    gui::PanelStatusBar* const stat1;
    QLabel* const lbl1;  // the home-page link
    QWebEngineView* const wb1;

    // Clicks the button or triggers the menu item of that name: for tables of cases.
    void Press(const char* name) const {
        if (auto* button = Find<QPushButton>(name)) {
            button->click();
        } else {
            Find<QAction>(name)->trigger();
        }
    }

    void Append(std::vector<std::string> lines) const {
        window.Model().AppendDomainRows(std::span<const std::string>(lines));
    }
    QString Cell(int row, int column) const {
        return window.Model().index(row, column).data().toString();
    }
    QString CellTip(int row, int column = 2) const {
        return window.Model().index(row, column).data(Qt::ToolTipRole).toString();
    }

    QString Progress() const { return stat1->PanelText(kProgressPanel); }
    QString ProgressTip() const { return stat1->PanelToolTip(kProgressPanel); }

    // A left click as the user makes it: on the widget under a point of the progress panel,
    // right of the home-page link that covers its start. Returns false, clicking nothing, when
    // something other than a panel lies there.
    bool ClickProgressPanel() const {
        const QRect panel = stat1->PanelRect(kProgressPanel);
        const QPoint at = panel.center() + QPoint(panel.width() / 4, 0);
        QWidget* target = stat1->childAt(at);
        if (target == nullptr || !target->objectName().isEmpty()) {
            return false;
        }
        const QPointF local = target->mapFrom(stat1, at);
        const QPointF global = target->mapToGlobal(local);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, local, global, Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        }
        return true;
    }

private:
    template <typename T>
    T* Find(const char* name) const {
        return window.findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace testsupport
