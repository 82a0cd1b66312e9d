#pragma once
// The wizard window under test: a fixture that drives its pages, starts tests with
// scripted workers and records every modal window it meets.
#include <gtest/gtest.h>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <memory>
#include "AppTestSupport.h"
#include "FakeWorker.h"
#include "app/ProbeForm.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "app/TraceList.h"
#include "framework/Errors.h"
#include "platform/LocalTime.h"

namespace zp::test {

struct ResultsSeen {
  QString banner;
  QStringList lines;
};

struct BoxSeen {
  QString title, text;
  QStringList buttons;
  QMessageBox::Icon icon;
  Qt::TextFormat format;
};

class ProbeFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TfrmProbe>();
    results = std::make_unique<TfrmResults>();
    form->SetResultsForm(results.get());
    factory.script.alive = alive;
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  void TearDown() override {
    watcher.reset();
    form.reset();
    results.reset();
    EXPECT_EQ(*alive, 0);
  }

  template <class T>
  T* Find(const QString& name) {
    T* widget = form->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QString Label(const char* name) { return Find<QLabel>(name)->text(); }
  QWidget* Page() { return Find<QStackedWidget>("pcProbe")->currentWidget(); }
  ZTabListBox* TraceBox() { return Find<ZTabListBox>("tlbTrace"); }
  // Every trace line so far, those waiting for their burst included.
  QStringList TraceLines() {
    form->TraceList().Flush();
    return Lines(*TraceBox());
  }
  // The text column of each trace line.
  QStringList Texts() {
    QStringList texts;
    for (const QString& line : TraceLines()) texts << line.section(u'\t', 2);
    return texts;
  }

  void Choose(int item) {
    auto* radio = Find<QRadioButton>(QString("rgSelectItem%1").arg(item));
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
  }
  // Next refuses an empty server: a way that fills in none gets the loopback's.
  void ToProcess(int item) {
    Button("btnWelcomeNext")->click();
    Choose(item);
    if (Edit("edServer")->text().isEmpty()) Edit("edServer")->setText("127.0.0.1");
    Button("btnSelectNext")->click();
  }
  // Starts a test with fake workers running `script`.
  void Test(int item, FakeWorker::Script script) {
    script.alive = alive;
    factory.script = std::move(script);
    form->SetWorkerFactory(factory.Make());
    ToProcess(item);
    Button("btnProcessTest")->click();
  }
  // Records every modal window and closes it: results with its button, boxes with
  // their first button (or by closing the main window when `close_on_box`).
  void Watch(bool close_on_box = false) {
    watcher = std::make_unique<ModalWatcher>([this, close_on_box](QWidget* modal) {
      if (modal == results.get()) {
        shown.push_back({results->findChild<QLabel*>("lblShowResult")->text(),
                         Lines(*results->findChild<ZTabListBox*>("tlbResults"))});
        QTest::mouseClick(results->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        BoxSeen seen{box->windowTitle(), box->text(), {}, box->icon(), box->textFormat()};
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        boxes.push_back(seen);
        if (close_on_box) {
          close_started.start();
          form->close();
        } else {
          box->buttons().front()->click();
        }
      }
    });
  }
  bool WaitForResults(std::size_t count = 1, int ms = 5000) {
    return QTest::qWaitFor([&] { return shown.size() >= count; }, ms);
  }

  std::shared_ptr<std::atomic<int>> alive = std::make_shared<std::atomic<int>>(0);
  std::unique_ptr<TfrmProbe> form;
  std::unique_ptr<TfrmResults> results;
  FakeFactory factory;
  std::unique_ptr<ModalWatcher> watcher;
  std::vector<ResultsSeen> shown;
  std::vector<BoxSeen> boxes;
  QElapsedTimer close_started;
};

}  // namespace zp::test
