// model_rows DIR SELECT: opens the select on the database in directory DIR
// through a query component, shows it through the Qt table model and prints
// the model's header and rows, the cells separated by tabs.
#include <iostream>

#include "dataset/exceptions.h"
#include "dataset/strings.h"
#include "nds/ndstable.h"
#include "qtmodel/dataset_model.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: model_rows DIR SELECT\n";
    return 2;
  }
  try {
    nds::TNdsQuery query(nullptr);
    query.SetDatabaseName(argv[1]);
    dataset::TStringList lines;
    lines.SetText(argv[2]);
    query.SetSQL(&lines);
    query.Open();
    ndsqt::DataSetModel model;
    model.SetDataSet(&query);
    while (model.canFetchMore(QModelIndex())) model.fetchMore(QModelIndex());
    for (int column = 0; column < model.columnCount(); ++column)
      std::cout << (column ? "\t" : "")
                << model.headerData(column, Qt::Horizontal).toString().toStdString();
    std::cout << '\n';
    for (int row = 0; row < model.rowCount(); ++row) {
      for (int column = 0; column < model.columnCount(); ++column)
        std::cout << (column ? "\t" : "")
                  << model.data(model.index(row, column)).toString().toStdString();
      std::cout << '\n';
    }
  } catch (const dataset::Exception& e) {
    std::cerr << "model_rows: " << e.Message() << '\n';
    return 1;
  }
  return 0;
}
