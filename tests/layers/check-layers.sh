#!/usr/bin/env bash
# Every include in src points down a layer (or stays in its own folder), and
# no core file includes a widget header. Prints each offending line.
set -euo pipefail
src=${1:?usage: check-layers.sh SRC_DIR}
cd "$src"

rank() {
  case $1 in
    platform) echo 0 ;;
    db) echo 1 ;;
    dialect | settings | text | schema) echo 2 ;;
    view | journal) echo 3 ;;
    records | telemetry | copy) echo 4 ;;
    check) echo 5 ;;
    app) echo 6 ;;
    ui) echo 7 ;;
    records/ui | telemetry/ui | copy/ui | journal/ui | check/ui) echo 8 ;;
    shell) echo 9 ;;
    *) echo 99 ;;
  esac
}
# The folder of a path below src: records/ui/X.h -> records/ui, db/X.h -> db.
folder() {
  local dir=${1%/*}
  [[ $dir == "$1" ]] && dir=.
  echo "$dir"
}
is_core() { (($(rank "$1") <= 5)); }

widget_headers='<(QWidget|QDialog|QMainWindow|QApplication|QMessageBox|QLabel|QLineEdit|QPushButton|QComboBox|QTableView|QTreeView|QTableWidget|QTreeWidget|QProgressBar|QMenu|QMenuBar|QAction|QToolBar|QStatusBar|QSplitter|QCheckBox|QRadioButton|QDateEdit|QTimeEdit|QFormLayout|QBoxLayout|QHBoxLayout|QVBoxLayout|QGridLayout|QDialogButtonBox|QHeaderView|QAbstractItemView|QCursor|QGuiApplication|QtWidgets[^>]*)>'

bad=0
while IFS= read -r file; do
  from=$(folder "$file")
  [[ $from == . ]] && continue # main.cpp stands above everything
  from_rank=$(rank "$from")
  while IFS= read -r line; do
    target=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$line")
    to=$(folder "$target")
    if [[ $to != "$from" ]] && (($(rank "$to") >= from_rank)); then
      echo "up or sideways: $file includes $target"
      bad=1
    fi
  done < <(grep -E '^#include "' "$file" || true)
  if is_core "$from" && grep -En "^#include $widget_headers" "$file"; then
    echo "widget header in core file $file"
    bad=1
  fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

if ((bad)); then
  echo "layer check failed"
  exit 1
fi
echo "layers: every include points down; no widget header in a core file"
