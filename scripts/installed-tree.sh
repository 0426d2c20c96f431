# Sourced by the checks of the installed tree, with the check's name:
#   source scripts/installed-tree.sh NAME
# Builds what they install (the release module, bmphost and the sample
# writer), makes the work folder $work, removed on exit, and defines fail,
# which names the check.
cmake --preset release >/dev/null
cmake --build --preset release --target BmpFilter bmphost bmpsamples >/dev/null
check_name=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/bmp-$check_name.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "$check_name: FAILED: $*" >&2
    exit 1
}
