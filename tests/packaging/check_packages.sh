#!/usr/bin/env bash
# The Debian packages and the install as a user meets them:
#
#   check_packages.sh build     BUILD WORK   cpack: WORK/debs/{tovarin,gorbo}_*.deb
#   check_packages.sh lintian   BUILD WORK   lintian: no error, no warning
#   check_packages.sh contents  BUILD WORK   what each package holds and needs
#   check_packages.sh run       BUILD WORK   dpkg -x into a scratch root, run each program there
#   check_packages.sh desktop   BUILD WORK   desktop entry, AppStream metadata, icons
#   check_packages.sh manuals   BUILD WORK   every manual page renders without a warning
#   check_packages.sh install   BUILD WORK   cmake --install into another prefix, run from there
#
# Every step but build and install reads the packages that build made.
set -euo pipefail

step=$1
build=$(cd "$2" && pwd)
mkdir -p "$3"
work=$(cd "$3" && pwd)
debs=$work/debs
app_id=org.tovaringorbo.gorbo

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Runs a command, expecting its exit status; its output goes to $out.
expect_status() {
  local want=$1
  shift
  local status=0
  out=$("$@" 2>&1) || status=$?
  [[ $status -eq $want ]] || fail "$* exited $status, not $want: $out"
}

deb_of() {
  local found=("$debs/$1"_*.deb)
  [[ -f ${found[0]} ]] || fail "no package $1 in $debs (run the build step first)"
  echo "${found[0]}"
}

# Both packages unpacked into one scratch root, fresh for every step.
unpack_root() {
  root=$work/root-$step
  rm -rf "$root"
  mkdir -p "$root"
  dpkg -x "$(deb_of tovarin)" "$root"
  dpkg -x "$(deb_of gorbo)" "$root"
}

case $step in
build)
  rm -rf "$debs"
  mkdir -p "$debs"
  cpack --config "$build/CPackConfig.cmake" -B "$debs" > "$debs/cpack.log" 2>&1 ||
    { cat "$debs/cpack.log"; fail "cpack"; }
  deb_of tovarin > /dev/null
  deb_of gorbo > /dev/null
  ls -l "$debs"/*.deb
  ;;

lintian)
  # Info tags are printed for the record; errors and warnings fail.
  report=$(lintian --info --pedantic "$(deb_of tovarin)" "$(deb_of gorbo)" 2>&1 |
           grep -v '^running with root privileges' || true)
  [[ -z $report ]] || echo "$report"
  if grep -E '^[EW]: ' <<< "$report"; then
    fail "lintian reports errors or warnings"
  fi
  ;;

contents)
  for package in tovarin gorbo; do
    deb=$(deb_of "$package")
    [[ $(dpkg-deb -f "$deb" Package) == "$package" ]] || fail "$deb is not named $package"
    for field in Maintainer Section Description Depends; do
      [[ -n $(dpkg-deb -f "$deb" "$field") ]] || fail "$package has no $field"
    done
  done
  # The dependencies come from the libraries the programs link.
  for lib in libsdl2-2.0-0 libcurl4 libsodium23 libtinyxml2.6.2v5; do
    dpkg-deb -f "$(deb_of tovarin)" Depends | grep -q "$lib" || fail "tovarin does not depend on $lib"
  done
  dpkg-deb -f "$(deb_of gorbo)" Depends | grep -q libsdl2-mixer-2.0-0 || fail "gorbo does not depend on libsdl2-mixer"
  [[ $(dpkg-deb -f "$(deb_of gorbo)" Section) == games ]] || fail "gorbo is not in section games"
  # The programs, and nothing that only the tests use.
  unpack_root
  for path in usr/bin/tovarin usr/bin/tovarin-publish usr/lib/gorbo/gorbo usr/lib/gorbo/gorbo-sim; do
    [[ -x $root/$path && ! -L $root/$path ]] || fail "$path is not an executable file"
  done
  everything=$(cd "$root" && find . \( -type f -o -type l \) | sort)
  if grep -E 'headless|_test|bench|fuzz|probe' <<< "$everything"; then
    fail "a test-only file is packaged"
  fi
  for path in usr/share/doc/tovarin/copyright usr/share/doc/gorbo/copyright \
              usr/share/doc/tovarin/changelog.gz usr/share/doc/gorbo/changelog.gz; do
    [[ -f $root/$path ]] || fail "$path is missing"
  done
  ;;

run)
  unpack_root
  # The game through the link in the command path, with the data it finds
  # beside the executable it really runs (links into share).
  [[ -L $root/usr/games/gorbo && -L $root/usr/games/gorbo-sim ]] || fail "the game's commands are not links"
  [[ $(readlink "$root/usr/games/gorbo-sim") != /* ]] || fail "the link is absolute"
  expect_status 0 env -C / "$root/usr/games/gorbo-sim" --frames 60
  summary=$(tail -n1 <<< "$out")
  [[ $summary =~ ^frames\ 60,\ level\ 1,\ x\ [0-9.]+,\ y\ [0-9.]+,\ action\ [0-9]+$ ]] ||
    fail "gorbo-sim printed: $out"
  expect_status 0 "$root/usr/games/gorbo-sim" --help
  [[ $out == usage:\ gorbo-sim* ]] || fail "gorbo-sim --help: $out"
  # The updater: started without its options it is a misuse, silently.
  expect_status 2 env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/tovarin"
  [[ -z $out ]] || fail "tovarin without options printed: $out"
  expect_status 2 "$root/usr/bin/tovarin" -name prog -number 1
  expect_status 2 "$root/usr/bin/tovarin-publish"
  [[ $out == *usage:\ tovarin-publish* ]] || fail "tovarin-publish without folders: $out"
  expect_status 0 "$root/usr/bin/tovarin-publish" --help
  # The publisher does its work from the package as well.
  mkdir -p "$work/program/sub"
  echo one > "$work/program/a.txt"
  echo two > "$work/program/sub/b.txt"
  rm -rf "$work/server"
  expect_status 0 "$root/usr/bin/tovarin-publish" --quiet --version 3 "$work/program" "$work/server"
  for file in UpdateList.xml.zip a.txt.zip sub/b.txt.zip; do
    [[ -f $work/server/$file ]] || fail "the installed publisher did not write $file"
  done
  ;;

desktop)
  unpack_root
  desktop=$root/usr/share/applications/$app_id.desktop
  metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
  desktop-file-validate "$desktop" || fail "desktop-file-validate $desktop"
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate $metainfo"
  grep -qx 'Exec=gorbo' "$desktop" || fail "the desktop entry does not start gorbo"
  grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not name the desktop entry"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  for size in 32 64 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [[ -f $png ]] || fail "no ${size}x${size} icon"
    [[ $(identify -format '%w %h %[channels]' "$png") == "$size $size srgba" ]] ||
      fail "$png is $(identify -format '%w x %h %[channels]' "$png")"
    # The window icon's colour key is transparent, its figure opaque.
    [[ $(convert "$png" -format '%[fx:p{0,0}.a]' info:) == 0 ]] || fail "$png: the corner is not transparent"
    [[ $(convert "$png" -format "%[fx:p{$((size / 2)),$((size / 2))}.a]" info:) == 1 ]] ||
      fail "$png: the middle is not opaque"
  done
  ;;

manuals)
  unpack_root
  pages=(usr/share/man/man1/tovarin.1.gz usr/share/man/man1/tovarin-publish.1.gz
         usr/share/man/man6/gorbo.6.gz usr/share/man/man6/gorbo-sim.6.gz)
  for page in "${pages[@]}"; do
    [[ -f $root/$page ]] || fail "$page is missing"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/$page" 2>&1 > "$work/page.txt") ||
      fail "man $page: $warnings"
    [[ -z $warnings ]] || fail "man $page warns: $warnings"
    name=$(basename "$page" | sed 's/\.[0-9]\.gz$//')
    grep -q "^NAME" "$work/page.txt" || fail "$page has no NAME section"
    for section in SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES; do
      grep -q "^$section" "$work/page.txt" || fail "$page has no $section section"
    done
    grep -q "^ *$name - " "$work/page.txt" || fail "$page does not name $name"
  done
  # Every option the programs' own help lists is in its manual page.
  check_options() {
    local page=$1 help=$2
    for option in $(grep -oE '^ +(-h, )?--[a-z-]+' <<< "$help" | grep -oE -- '--[a-z-]+'); do
      zcat "$root/$page" | grep -q -- "${option//-/\\\\-}" || fail "$page does not describe $option"
    done
  }
  check_options usr/share/man/man1/tovarin-publish.1.gz "$("$root/usr/bin/tovarin-publish" --help)"
  check_options usr/share/man/man6/gorbo-sim.6.gz "$("$root/usr/games/gorbo-sim" --help)"
  for option in -name -number -prog -down -http -reboot -key; do
    zcat "$root/usr/share/man/man1/tovarin.1.gz" | grep -q "^\.B.* \\\\${option}\b" ||
      fail "tovarin.1 does not describe $option"
  done
  ;;

install)
  prefix=$work/prefix
  rm -rf "$prefix"
  cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install"; }
  for path in bin/tovarin bin/tovarin-publish games/gorbo games/gorbo-sim \
              share/applications/$app_id.desktop share/metainfo/$app_id.metainfo.xml \
              share/man/man1/tovarin.1.gz share/man/man6/gorbo.6.gz; do
    [[ -e $prefix/$path ]] || fail "cmake --install did not make $path"
  done
  [[ ! -e $prefix/bin/tovarin-headless ]] || fail "tovarin-headless is installed"
  expect_status 0 "$prefix/games/gorbo-sim" --frames 1
  [[ $out == "frames 1, level 1,"* ]] || fail "gorbo-sim from the prefix: $out"
  ;;

*)
  fail "unknown step $step"
  ;;
esac
echo "ok: $step"
