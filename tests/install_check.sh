#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every installed file with
# the tool made for it. Usage: install_check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
fail() { echo "install check: $*" >&2; exit 1; }

for f in bin/kelmora bin/kelmora-cli share/applications/kelmora.desktop share/mime/packages/kelmora-txd.xml \
         share/metainfo/io.kelmora.Kelmora.metainfo.xml share/man/man1/kelmora.1 share/man/man1/kelmora-cli.1 \
         share/bash-completion/completions/kelmora-cli share/icons/hicolor/scalable/apps/kelmora.svg; do
  [ -f "$prefix/$f" ] || fail "missing $f"
done

desktop-file-validate "$share/applications/kelmora.desktop" || fail "desktop entry"
icon=$(sed -n 's/^Icon=//p' "$share/applications/kelmora.desktop")
for size in 16 32 48 64 128 256; do
  png=$share/icons/hicolor/${size}x${size}/apps/$icon.png
  [ -f "$png" ] || fail "no $size pixel icon named $icon"
  [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "$png is not $size pixels"
done
grep -q "^MimeType=application/x-txd;" "$share/applications/kelmora.desktop" || fail "desktop entry names no .txd type"

xmllint --noout --relaxng "$src/tests/schemas/shared-mime-info.rng" "$share/mime/packages/kelmora-txd.xml" 2>/dev/null \
  || fail "MIME package does not validate"
update-mime-database "$share/mime" 2>/dev/null || fail "update-mime-database refused the package"
grep -q "application/x-txd" "$share/mime/globs2" || fail "the database has no .txd type"

appstreamcli validate --no-net "$share/metainfo/io.kelmora.Kelmora.metainfo.xml" >/dev/null || fail "AppStream metadata"

for page in kelmora kelmora-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$share/man/man1/$page.1" 2>/dev/null | grep -q "^NAME" || fail "man page $page shows nothing"
done

# bash loads the completion, and it completes the commands and the formats.
completions=$(bash -c '
  source /usr/share/bash-completion/bash_completion
  source "$1"
  complete -p kelmora-cli >/dev/null || exit 1
  COMP_WORDS=(kelmora-cli ex); COMP_CWORD=1; COMP_LINE="kelmora-cli ex"; COMP_POINT=${#COMP_LINE}
  _kelmora_cli; echo "${COMPREPLY[*]}"
  COMP_WORDS=(kelmora-cli extract -f p); COMP_CWORD=3; COMP_LINE="kelmora-cli extract -f p"; COMP_POINT=${#COMP_LINE}
  _kelmora_cli; echo "${COMPREPLY[*]}"' _ "$share/bash-completion/completions/kelmora-cli") || fail "bash cannot load the completion"
[ "$completions" = $'extract\npng' ] || fail "completion gave: $completions"

# The thumbnailer entry names the installed program and the type, and the program
# makes a PNG of at most the asked size that another program reads.
thumbnailer=$share/thumbnailers/kelmora.thumbnailer
[ -f "$thumbnailer" ] || fail "missing the thumbnailer entry"
grep -q "^\[Thumbnailer Entry\]$" "$thumbnailer" || fail "thumbnailer entry has no group"
grep -q "^MimeType=application/x-txd;$" "$thumbnailer" || fail "thumbnailer entry names no .txd type"
exec_line=$(sed -n 's/^Exec=//p' "$thumbnailer")
program=${exec_line%% *}
[ -x "$prefix/bin/$program" ] || fail "thumbnailer program $program is not installed"
thumb=$prefix/thumb.png
command=${exec_line//%s/128}
command=${command//%i/$src/samples/demo.txd}
command=${command//%o/$thumb}
(cd "$prefix/bin" && PATH="$prefix/bin:$PATH" eval "$command") || fail "the thumbnailer failed"
[ "$(identify -format '%wx%h %[channels]' "$thumb")" = "128x128 srgba" ] || fail "thumbnail is $(identify -format '%wx%h %[channels]' "$thumb")"

"$prefix/bin/kelmora" --version | grep -q "^kelmora [0-9]" || fail "kelmora --version"
"$prefix/bin/kelmora-cli" --version | grep -q "^kelmora-cli [0-9]" || fail "kelmora-cli --version"
echo "install check passed"
