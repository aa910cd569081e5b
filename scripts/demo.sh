#!/usr/bin/env bash
# The main job: installs what is missing, builds everything, then shows the
# updater at work. A newer version of a program (the game, or a small sample
# program while the game is not built) is published with tovarin-publish and
# served by nginx on a free loopback port; an older copy is installed in a
# temporary program folder, and Tovarin updates it and starts it ("-reboot").
# The update is signed: a throwaway key pair made for this run with minisign
# signs the list, and Tovarin is given the public key ("-key"), so it checks
# the list's signature and every archive's SHA-256 before unpacking them.
# Without a display Tovarin shows its progress on the terminal, and the
# updated game's first level is then played by the simulator (gorbo-sim) with
# its committed key script, ending with the simulator's summary line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup.sh
echo "Built into build/. Run the tests with: bash scripts/test.sh"

tovarin=build/updater/app/tovarin
publish=build/tools/publisher/tovarin-publish
for tool in "$tovarin" "$publish"; do
  [[ -x "$tool" ]] || { echo "demo: $tool was not built" >&2; exit 1; }
done

source tests/support/nginx.sh
work=$(mktemp -d /tmp/tovarin-demo.XXXXXX)
keep_work=0
cleanup() {
  tg_nginx_stop
  if ((keep_work)); then
    echo "demo: the updated program runs from $work/prog; remove $work when done."
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# Version 2 of the program in $work/new, version 1 installed in $work/prog.
mkdir -p "$work/new" "$work/prog" "$work/down"
if [[ -x build/game/app/gorbo && -d game/data ]]; then
  name=gorbo
  cp build/game/app/gorbo "$work/new/"
  cp -r game/data/. "$work/new/"
  [[ -f build/game/app/gorbo.bmp ]] && cp build/game/app/gorbo.bmp "$work/new/"
  cp -r "$work/new/." "$work/prog/"
  # The older copy: another executable, a level missing, a damaged picture.
  printf '#!/bin/sh\necho "gorbo 1"\n' > "$work/prog/gorbo"
  rm -f "$work/prog/level/level3.dat"
  head -c 100 "$work/new/graphics/coin.bmp" > "$work/prog/graphics/coin.bmp"
  rate=1m
else
  name=sample
  cat > "$work/new/sample" <<'EOF'
#!/bin/sh
# Version 2 of the sample program: says so, and leaves a mark beside itself.
echo "sample program, version 2: started by Tovarin"
date > "$(dirname "$0")/started.txt"
EOF
  printf '#!/bin/sh\necho "sample program, version 1"\n' > "$work/prog/sample"
  head -c 3000000 /dev/urandom > "$work/new/sample.dat"
  mkdir -p "$work/new/docs"
  echo "Version 2 of the sample program." > "$work/new/docs/readme.txt"
  chmod +x "$work/new/sample" "$work/prog/sample"
  rate=1m
fi

# A key pair for this demo only, unencrypted and deleted with $work.
minisign -G -W -p "$work/demo.pub" -s "$work/demo.key" >/dev/null
key=$(sed -n 2p "$work/demo.pub")

echo "== publishing $name version 2, signed with a throwaway key"
"$publish" --version 2 --name "$name" --sign "$work/demo.key" "$work/new" "$work/srv/$name"

# Throttled so that the progress can be watched.
tg_nginx_start "$work/srv" "$work/nginx" "$rate" "$work/nginx/access.log"
url="$TG_NGINX_URL/$name"
echo "== serving the update at $url"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  echo "== running Tovarin (progress window)"
else
  echo "== running Tovarin (no display: progress on the terminal)"
fi
set +e
"$tovarin" -name "$name" -number 2 -prog "$work/prog" -down "$work/down" \
  -http "$url" -key "$key" -reboot
status=$?
set -e
echo "== Tovarin ended with exit status $status (0: installed or already current)"

if ((status == 0)); then
  if [[ "$name" == sample ]]; then
    for _ in $(seq 50); do
      [[ -f "$work/prog/started.txt" ]] && break
      sleep 0.1
    done
    echo "== the program folder now holds:"
    (cd "$work/prog" && find . -type f | sort)
  elif [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    keep_work=1
    echo "== gorbo was updated and started in its own window"
  else
    # No window to play in: the simulator plays the updated game's data
    # (its first level, with the key script the tests play) and prints
    # where the play ended.
    sim=build/game/app/gorbo-sim
    echo "== gorbo was updated; playing its first level without a display"
    if [[ -x "$sim" ]]; then
      summary=$("$sim" --data "$work/prog" --level 1 --keys tests/game_levels/level1.keys | tail -n 1)
      echo "$summary"
      if [[ "$summary" == *", level 2,"* ]]; then
        echo "== the first level was played to its end: the game runs level 2"
      else
        echo "== the play did not reach level 2"
      fi
    else
      echo "demo: $sim was not built" >&2
    fi
  fi
fi
exit "$status"
