# Sourced by the benchmark scripts that compare against plain HTTP.

# start_nginx DIR ROOT: nginx, its own files under DIR, serving the folder ROOT on 127.0.0.1 at
# a free port; sets http_port and nginx_pid and returns once it answers.
start_nginx() {
    local dir=$1 served=$2
    mkdir -p "$dir/tmp"
    http_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    cat > "$dir/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $dir/tmp/body;
    proxy_temp_path $dir/tmp/proxy;
    fastcgi_temp_path $dir/tmp/fastcgi;
    uwsgi_temp_path $dir/tmp/uwsgi;
    scgi_temp_path $dir/tmp/scgi;
    server {
        listen 127.0.0.1:$http_port;
        root $served;
    }
}
CONF
    nginx -e "$dir/error.log" -p "$dir" -c "$dir/nginx.conf" &
    nginx_pid=$!
    for _ in $(seq 100); do
        curl -s -o /dev/null "http://127.0.0.1:$http_port/" && break
        sleep 0.1
    done
}
