// SPDX-License-Identifier: GPL-3.0-or-later
// "Choose File Folder": picks the input or output folder of a multiple-files job.
#pragma once

#include <QDialog>

class QFileSystemModel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace varistrum {

class TOpenFolderDlg : public QDialog {
    Q_OBJECT
  public:
    explicit TOpenFolderDlg(QWidget* parent = nullptr);

    // The folder of the last OK; kept when the box is closed any other way.
    QString ChosenFolder() const { return chosen_; }

  private slots:
    void FormCreate();
    void DirectoryListBox1Change(const QModelIndex& current);
    void btnOkClick();

  private:
    QFileSystemModel* model_;
    QTreeView* DirectoryListBox1;
    QLineEdit* edFolder;
    QPushButton* btnOk;
    QString chosen_;
};

}  // namespace varistrum
