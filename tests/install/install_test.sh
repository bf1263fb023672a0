#!/bin/sh
# Installs the build into a temporary prefix and checks it as a Linux desktop would:
# the validators, the file types, the program started as its desktop entry starts it
# (finding its installed help), and the Debian package's contents and dependencies.
#
#   install_test.sh BUILD_DIR SIM
set -eu
build=$(cd "$1" && pwd)
sim=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; exit 1; }
app=org.example.zarn26

# ---- Everything in its place.
for f in bin/zarn26 bin/zarn26-cli bin/zarn26-sim \
         share/zarn26/Help/Zarn26help.qhc share/zarn26/Help/Zarn26help.qch share/zarn26/Help/Zarn26Help.chm \
         lib/udev/rules.d/70-zarn26.rules share/applications/$app.desktop share/metainfo/$app.metainfo.xml \
         share/mime/packages/$app.xml share/icons/hicolor/scalable/apps/$app.svg \
         share/man/man1/zarn26.1.gz share/man/man1/zarn26-cli.1.gz share/man/man1/zarn26-sim.1.gz \
         share/doc/zarn26/copyright share/doc/zarn26/changelog.Debian.gz share/doc/zarn26/README.md; do
  [ -s "$prefix/$f" ] || fail "not installed: $f"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$prefix/share/icons/hicolor/${size}x$size/apps/$app.png" ] || fail "no ${size}x$size icon"
done
[ "$(head -c 4 "$prefix/share/zarn26/Help/Zarn26Help.chm")" = ITSF ] || fail "Zarn26Help.chm is no CHM file"
[ ! -e "$prefix/bin/Help" ] || fail "help installed beside the programs"
pass "installed files"

# ---- Validators: clean, not merely passing.
desktop-file-validate "$prefix/share/applications/$app.desktop" >"$work/v.log" 2>&1 && [ ! -s "$work/v.log" ] ||
  { cat "$work/v.log"; fail "desktop-file-validate"; }
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$app.metainfo.xml" >"$work/v.log" 2>&1 &&
  ! grep -Eq '^[EWIP]:' "$work/v.log" || { cat "$work/v.log"; fail "appstreamcli validate"; }
# Manual pages and the changelog compressed as Debian keeps them: gzip -9n, no name, no time.
for gz in share/man/man1/zarn26.1.gz share/man/man1/zarn26-cli.1.gz share/man/man1/zarn26-sim.1.gz \
          share/doc/zarn26/changelog.Debian.gz; do
  gzip -lv "$prefix/$gz" >"$work/gz.log" 2>&1 || { cat "$work/gz.log"; fail "$gz is no gzip file"; continue; }
  # Bytes 4..7 of a gzip header are its time, byte 3 its flags (8: a file name follows).
  header=$(od -An -tx1 -j3 -N5 "$prefix/$gz" | tr -d ' \n')
  [ "$header" = 0000000000 ] || fail "$gz keeps a name or a time ($header)"
done
for page in zarn26 zarn26-cli zarn26-sim; do
  gzip -dc "$prefix/share/man/man1/$page.1.gz" | groff -man -ww -z >"$work/v.log" 2>&1 && [ ! -s "$work/v.log" ] ||
    { cat "$work/v.log"; fail "manual page $page"; }
done
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$prefix/share/doc/zarn26/copyright" || fail "the copyright file is not in the machine-readable format"
pass "validators"

# ---- File types, as the desktop's MIME database sees them.
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
update-desktop-database "$prefix/share/applications"
export XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$work/home/.local/share" HOME="$work/home"
mkdir -p "$XDG_DATA_HOME"
"$sim" --write-sample "$work/site 12.zarn" --processes 5 --seed 3 >/dev/null
cp "$work/site 12.zarn" "$work/renamed.dat"
printf '[Mt000]\r\nName=Concrete\r\n' >"$work/lab.mtzarn"
printf '[Names]\r\nName01=-\r\n' >"$work/lab.objzarn"
for pair in "site 12.zarn=application/x-zarn" "renamed.dat=application/x-zarn" \
            "lab.mtzarn=application/x-zarn-materials" "lab.objzarn=application/x-zarn-objects"; do
  file=${pair%%=*}
  want=${pair#*=}
  got=$(xdg-mime query filetype "$work/$file")
  [ "$got" = "$want" ] || fail "xdg-mime names $file $got, not $want"
done
got=$(xdg-mime query default application/x-zarn)
[ "$got" = "$app.desktop" ] || fail "a .zarn file opens with '$got', not $app.desktop"
pass "file types"

# The installed zarn26-cli finds its report helper in the libexec folder.
"$prefix/bin/zarn26-cli" report "$work/site 12.zarn" --format txt -o "$work/report.txt" >"$work/r.log" 2>&1 &&
  [ -s "$work/report.txt" ] || { cat "$work/r.log" >&2; fail "the installed zarn26-cli report"; }

# ---- The installed program, started as the desktop entry starts it, on its own X server.
display=""
for n in $(seq $((200 + $$ % 100)) 399); do
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  i=0
  while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ] && kill -0 "$xvfb_pid" 2>/dev/null; do
    sleep 0.1; i=$((i + 1))
  done
  if [ -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  kill "$xvfb_pid" 2>/dev/null; xvfb_pid=""
done
[ -n "$display" ] || { echo "no X server" >&2; exit 1; }
export DISPLAY="$display" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
export XDG_RUNTIME_DIR="$work/run" PATH="$prefix/bin:$PATH"
unset QT_QPA_PLATFORM
mkdir -p "$XDG_CONFIG_HOME/zarn26" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Config]\r\nLangId=Eng\r\n' >"$XDG_CONFIG_HOME/zarn26/Zarn26.ini"

# Waits (at most $2 tenths of a second) until $1 windows have names matching $3.
windows_named() {
  i=0
  while [ $i -lt "$2" ]; do
    count=$(xdotool search --name "$3" 2>/dev/null | wc -l)
    [ "$count" -ge "$1" ] && return 0
    sleep 0.1; i=$((i + 1))
  done
  return 1
}
# The entry's Exec line with %f the file, split into words as a launcher does.
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/applications/$app.desktop")
start_as_entry() {
  command=$(printf '%s' "$exec_line" | sed "s|%f|'$1'|")
  eval "$command" >"$work/app.log" 2>&1 &
  app_pid=$!
}

# The program's windows: the main window (its title may name the open file before the
# program's name) and its message boxes.
program_windows='Zarn-2[.]5/2[.]6$'
start_as_entry "$work/site 12.zarn"
if windows_named 1 150 "$program_windows"; then
  sleep 1.5
  # No message box beside the window: the file opened.
  [ "$(xdotool search --name "$program_windows" | wc -l)" -eq 1 ] || fail "a message came up opening the file"
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended"
  window=$(xdotool search --name "$program_windows" | head -n 1)
  xdotool windowfocus --sync "$window" key F1
  windows_named 1 150 '^The main window — Zarn-2[.]5/2[.]6$' ||
    fail "F1 did not open the installed help at the main window's topic"
else
  cat "$work/app.log" >&2
  fail "the program's window did not come up"
fi
kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null || true
grep -q '^Uses=1' "$XDG_CONFIG_HOME/zarn26/Zarn26.ini" || fail "the settings were not kept under XDG_CONFIG_HOME"
[ ! -e "$prefix/bin/Zarn26.ini" ] || fail "settings written beside the installed program"

# A file that is no data file: the program says so.
printf 'not a data file' >"$work/bad.zarn"
start_as_entry "$work/bad.zarn"
windows_named 2 150 "$program_windows" || fail "no message for a damaged file"
kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null || true
pass "the installed program"

# ---- The Debian package.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/*.deb 2>/dev/null | head -n 1)
if [ -n "$deb" ]; then
  dpkg-deb -I "$deb" >"$work/info.txt"
  dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents.txt"
  depends=$(sed -n 's/^ Depends: //p' "$work/info.txt")
  for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6charts6 libqt6help6 qt6-qpa-plugins libqt6sql6-sqlite; do
    case ", $depends," in *", $lib "*|*", $lib,"*) ;; *) fail "the package does not depend on $lib ($depends)";; esac
  done
  grep -q '^ Recommends: .*libusb-0.1-4' "$work/info.txt" || fail "libusb-0.1-4 is not recommended"
  grep -q 'postinst' "$work/info.txt" || fail "no postinst"
  dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./postinst | grep -q 'udevadm control --reload-rules' ||
    fail "postinst does not reload the udev rules"
  for f in ./usr/bin/zarn26 ./usr/bin/zarn26-cli ./usr/bin/zarn26-sim ./usr/libexec/zarn26/zarn26-cli-report ./usr/lib/udev/rules.d/70-zarn26.rules \
           ./usr/share/zarn26/Help/Zarn26help.qhc ./usr/share/zarn26/Help/Zarn26help.qch \
           ./usr/share/zarn26/Help/Zarn26Help.chm ./usr/share/applications/$app.desktop \
           ./usr/share/metainfo/$app.metainfo.xml ./usr/share/mime/packages/$app.xml \
           ./usr/share/icons/hicolor/scalable/apps/$app.svg ./usr/share/man/man1/zarn26.1.gz \
           ./usr/share/man/man1/zarn26-cli.1.gz ./usr/share/man/man1/zarn26-sim.1.gz \
           ./usr/share/doc/zarn26/copyright ./usr/share/doc/zarn26/changelog.Debian.gz; do
    grep -qx "$f" "$work/contents.txt" || fail "the package lacks $f"
  done
  ! grep -Eq 'usbshim|libusb-0\.1\.so|_test|/include/' "$work/contents.txt" || fail "the package carries test files"
  ! grep -Eq '/man/.*\.1$' "$work/contents.txt" || fail "the package carries uncompressed manual pages"
  grep -q '^ Version: [0-9.]*-[0-9]*$' "$work/info.txt" || fail "the package's version has no Debian revision"
  # Every description line within 80 columns.
  ! { echo "Description: $(dpkg-deb -f "$deb" Description)"; } | awk 'length > 80' | grep -q . ||
    fail "a description line is wider than 80 columns"
  # Debian's own checker: no error and no warning (scripts/check-package also installs it).
  if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
  fi
  pass "the Debian package $(basename "$deb")"
else
  cat "$work/cpack.log"
  fail "cpack made no package"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
