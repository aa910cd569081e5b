# The nginx of the demo and the update benchmark, from the configuration
# template the tests use (nginx.conf.in beside this file). Source it, then:
#   tg_nginx_start ROOT PREFIX [RATE] [ACCESS_LOG]   # sets TG_NGINX_URL and TG_NGINX_PID
#   tg_nginx_stop
# RATE is nginx's limit_rate (0: none); ACCESS_LOG a file, or "off".
TG_NGINX_TEMPLATE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/nginx.conf.in"
TG_NGINX_PID=""
TG_NGINX_URL=""

tg_nginx_start() {
  local root=$1 prefix=$2 rate=${3:-0} log=${4:-off}
  mkdir -p "$prefix/temp"
  local attempt port
  for attempt in 1 2 3 4 5; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sed -e "s|@PREFIX@|$prefix|g" -e "s|@ROOT@|$root|g" -e "s|@PORT@|$port|g" -e "s|@RATE@|$rate|g" \
        -e "s|@ACCESS_LOG@|$log|g" -e "s|@SSL@||g" -e "s|@TLS_FILES@||g" \
        "$TG_NGINX_TEMPLATE" > "$prefix/nginx.conf"
    nginx -p "$prefix/" -c "$prefix/nginx.conf" -e "$prefix/error.log" &
    TG_NGINX_PID=$!
    local _
    for _ in $(seq 100); do
      if curl -s -o /dev/null "http://127.0.0.1:$port/"; then
        TG_NGINX_URL="http://127.0.0.1:$port"
        return 0
      fi
      kill -0 "$TG_NGINX_PID" 2>/dev/null || break  # the port was taken meanwhile: try another
      sleep 0.05
    done
    tg_nginx_stop
  done
  echo "nginx did not start (see $prefix/error.log)" >&2
  return 1
}

tg_nginx_stop() {
  if [[ -n "$TG_NGINX_PID" ]]; then
    kill "$TG_NGINX_PID" 2>/dev/null || true
    wait "$TG_NGINX_PID" 2>/dev/null || true
    TG_NGINX_PID=""
  fi
}
