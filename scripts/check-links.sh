#!/usr/bin/env bash
# Every relative link in the given Markdown files leads to a file or folder
# that exists beside them (anchors and web addresses aside). Prints each
# broken link and fails when there is one.
#   scripts/check-links.sh FILE.md...
set -euo pipefail
broken=0
for doc in "$@"; do
    while IFS= read -r target; do
        target=${target%%#*}
        [ -n "$target" ] || continue
        if [ ! -e "$(dirname "$doc")/$target" ]; then
            echo "links: $doc links $target, which is not there" >&2
            broken=$((broken + 1))
        fi
    done < <(grep -o '\]([^)]*)' "$doc" | sed 's/^](//; s/)$//' | grep -v '^[a-z][a-z]*:' || true)
done
[ "$broken" = 0 ]
