#!/usr/bin/env bash
# The repository's docs as a newcomer meets them: a front page of at most 200
# lines that names the licence, the MIT licence itself, a changelog entry for
# the project's version, and every link of every Markdown file holding.
set -euo pipefail
cd "$(dirname "$0")/.."
fail() {
    echo "docs: FAILED: $*" >&2
    exit 1
}
lines=$(wc -l <README.md)
[ "$lines" -le 200 ] || fail "README.md has $lines lines, more than 200"
head -n 1 LICENSE | grep -qx 'MIT License' || fail "LICENSE is not the MIT licence"
grep -q 'Permission is hereby granted, free of charge' LICENSE || fail "LICENSE lacks the MIT grant"
grep -q '\[LICENSE\](LICENSE)' README.md && grep -qw MIT README.md || fail "README.md does not name the licence"
version=$(bash scripts/project-version.sh)
grep -qx "## $version" CHANGELOG.md || fail "CHANGELOG.md has no entry for $version"
mapfile -t docs < <(git ls-files '*.md')
bash scripts/check-links.sh "${docs[@]}" || fail "broken links"
echo "docs: README.md $lines lines; LICENSE MIT; CHANGELOG.md has $version; links hold in ${#docs[@]} files"
