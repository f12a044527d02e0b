// SPDX-License-Identifier: GPL-3.0-or-later
// Folder chooser.
#include "app/open_folder_dlg.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace varistrum {

TOpenFolderDlg::TOpenFolderDlg(QWidget* parent)
    : QDialog(parent), model_(new QFileSystemModel(this)) {
    setObjectName(QStringLiteral("OpenFolderDlg"));
    setWindowTitle(QStringLiteral("Choose File Folder"));
    resize(425, 350);

    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setRootPath(QDir::rootPath());
    DirectoryListBox1 = new QTreeView(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column)
        DirectoryListBox1->hideColumn(column);
    DirectoryListBox1->header()->hide();
    edFolder = new QLineEdit(this);
    edFolder->setObjectName(QStringLiteral("edFolder"));
    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(edFolder, 1);
    bottom->addWidget(btnOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(DirectoryListBox1, 1);
    layout->addLayout(bottom);

    connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TOpenFolderDlg::DirectoryListBox1Change);
    connect(btnOk, &QPushButton::clicked, this, &TOpenFolderDlg::btnOkClick);
    FormCreate();
}

void TOpenFolderDlg::FormCreate() {
    // The list starts at the process's working directory.
    const QModelIndex current = model_->index(QDir::currentPath());
    DirectoryListBox1->setCurrentIndex(current);
    DirectoryListBox1->scrollTo(current, QAbstractItemView::PositionAtCenter);
    edFolder->setText(QDir::toNativeSeparators(QDir::currentPath()));
}

void TOpenFolderDlg::DirectoryListBox1Change(const QModelIndex& current) {
    if (current.isValid()) edFolder->setText(QDir::toNativeSeparators(model_->filePath(current)));
}

void TOpenFolderDlg::btnOkClick() {
    chosen_ = edFolder->text();
    accept();
}

}  // namespace varistrum
