#!/usr/bin/env bash
# Fails when a file of src/ includes a header of a layer it may not use, or when a layer below
# the widgets includes a Qt Widgets header. The layers, top down:
#   ui -> diagnostics -> modem -> serial -> platform
#   ui -> widgets -> platform
# A layer includes its own headers and those of the layer right below it; platform (the
# operating system) and resources/ are open to all. Only ui and widgets may use Qt Widgets: the
# build keeps its include path from the others, and this check also catches the
# <QtWidgets/...> spelling, which that path does not hold, and any header found in
# QT_WIDGETS_DIR (the directory of Qt Widgets' headers) when it is given.
# ui may also include the headers of uiReaches: the command line fills the port names and the
# port listing shows them, with the verdicts of the report, before any test sequence runs.
set -u
src=${1:?usage: check_layers.sh SRC_DIR [QT_WIDGETS_DIR]}
widgetsDir=${2:-}
layers=(ui diagnostics modem serial platform)
uiReaches=(serial/port_names.h modem/port_verdict.h)
status=0
for i in "${!layers[@]}"; do
  layer=${layers[$i]}
  below=${layers[$((i + 1))]:-}
  while IFS= read -r hit; do
    file=${hit%%:*}
    included=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$hit")
    header=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"$hit")
    if [ "$layer" = ui ] && [[ " ${uiReaches[*]} " == *" $header "* ]]; then continue; fi
    case "$included" in
      "$layer" | "$below" | platform | resources) ;;
      widgets)
        if [ "$layer" != ui ]; then
          echo "$file: a $layer file includes a widgets header: $hit"
          status=1
        fi
        ;;
      ui | diagnostics | modem | serial)
        echo "$file: a $layer file includes a $included header: $hit"
        status=1
        ;;
    esac
  done < <(grep -HnE '^#include "[a-z_]+/' "$src/$layer"/*.h "$src/$layer"/*.cpp)
done
while IFS= read -r hit; do
  included=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$hit")
  case "$included" in
    widgets | platform | resources) ;;
    *)
      echo "${hit%%:*}: a widgets file includes a $included header: $hit"
      status=1
      ;;
  esac
done < <(grep -HnE '^#include "[a-z_]+/' "$src"/widgets/*.h "$src"/widgets/*.cpp)
for layer in diagnostics modem serial platform; do
  while IFS= read -r hit; do
    header=$(sed -E 's/.*#include <([^>]+)>.*/\1/' <<<"$hit")
    if [[ "$header" == QtWidgets/* ]] || { [ -n "$widgetsDir" ] && [ -f "$widgetsDir/$header" ]; }; then
      echo "${hit%%:*}: a $layer file includes the Qt Widgets header $header"
      status=1
    fi
  done < <(grep -HnE '^#include <Q' "$src/$layer"/*.h "$src/$layer"/*.cpp)
done
[ $status -eq 0 ] && echo "every include of $src keeps to its layer"
exit $status
