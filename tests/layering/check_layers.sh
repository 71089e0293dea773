#!/usr/bin/env bash
# Fails when a file of src/ includes a header of a layer it may not use. The layers, top down:
#   ui -> diagnostics -> modem -> serial -> platform
# A layer includes its own headers and those of the layer right below it; platform (the
# operating system and dialog foundation) and resources/ are open to all.
set -u
src=${1:?usage: check_layers.sh SRC_DIR}
layers=(ui diagnostics modem serial platform)
status=0
for i in "${!layers[@]}"; do
  layer=${layers[$i]}
  below=${layers[$((i + 1))]:-}
  while IFS= read -r hit; do
    file=${hit%%:*}
    included=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$hit")
    case "$included" in
      "$layer" | "$below" | platform | resources) ;;
      ui | diagnostics | modem | serial)
        echo "$file: a $layer file includes a $included header: $hit"
        status=1
        ;;
    esac
  done < <(grep -HnE '^#include "[a-z_]+/' "$src/$layer"/*.h "$src/$layer"/*.cpp)
done
[ $status -eq 0 ] && echo "every include of $src keeps to its layer"
exit $status
