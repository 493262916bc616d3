#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence's SPDX line at the top of every source file that lacks it,
# as a comment of the file's own kind: after a "#!" line or an XML
# declaration, which must stay first. Files that already carry the line are
# left alone, so running it again changes nothing.
# With --check it changes nothing and fails, naming them, when files lack it.
set -euo pipefail
cd "$(dirname "$0")/.."

readonly tag='SPDX-License-Identifier: GPL-3.0-or-later'
check=false
[ "${1:-}" = --check ] && check=true

# The comment that carries the line in this file, or nothing for files that
# are not source (data, pictures, the fuzz corpus, documents).
comment_for() {
    case "$1" in
        fuzz/corpus/*) ;;
        *.cpp | *.h | *.h.in | *.rc) echo "// $tag" ;;
        CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.py | *.h2m | *.desktop | .ci/*)
            echo "# $tag" ;;
        *.xml | *.qrc) echo "<!-- $tag -->" ;;
        *) head -c 2 "$1" 2>/dev/null | grep -q '^#!' && echo "# $tag" ;;
    esac
    return 0
}

# Whether the line is already near the top (a #! line or declaration may precede it).
has_tag() { head -n 3 "$1" | grep -q 'SPDX-License-Identifier:'; }

add_tag() {  # add_tag FILE COMMENT
    local file=$1 comment=$2 first
    first=$(head -n 1 "$file")
    local tmp
    tmp=$(mktemp "$file.spdx.XXXXXX")
    if [[ $first == '#!'* || $first == '<?xml'* ]]; then
        { printf '%s\n%s\n' "$first" "$comment"; tail -n +2 "$file"; } >"$tmp"
    else
        { printf '%s\n' "$comment"; cat "$file"; } >"$tmp"
    fi
    chmod --reference="$file" "$tmp"
    mv "$tmp" "$file"
}

missing=0
while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    comment=$(comment_for "$file")
    [ -n "$comment" ] || continue
    has_tag "$file" && continue
    if $check; then
        echo "no SPDX line: $file"
        missing=$((missing + 1))
    else
        add_tag "$file" "$comment"
        echo "added: $file"
    fi
done < <(git ls-files -z --cached --others --exclude-standard)

if $check; then
    [ "$missing" -eq 0 ] || { echo "$missing files lack the SPDX line; scripts/add-spdx.sh adds it"; exit 1; }
    echo "SPDX line: in every source file"
fi
