#!/bin/sh
# Builds the sample release of Korvane Free: a whole update-server tree.
#
#   make-sample-release.sh [--key KEYFILE | --unsigned] [--serial N]
#                          QVPUBLISH PRODUCTDIR OUTDIR [HOST [PORT]]
#
# QVPUBLISH is the release tool; PRODUCTDIR holds the built sample product
# (server/product: QVUpdate.exe, QVServiceNt.exe, QVService.exe, QVCtx.dll;
# the build puts them in <build>/server/product/bin, or in
# <build>/sample-product/bin for a host build); OUTDIR is the server's
# document root (created; files of an earlier run are replaced). Every server entry of the
# configuration that names a host is pointed at HOST:PORT (default
# 127.0.0.1:80).
#
# The release is signed: QVConfig.dat and both QVPatch.dat get their ".sig"
# beside them, made with KEYFILE (default: the sample release key
# server/sample-release-key.SAMPLE-ONLY.pem, for tests and the demo only)
# and serial N (default: $QV_RELEASE_SERIAL, else 1). --unsigned leaves the
# signatures out, for a build that carries no release key. Serve the tree with
#   python3 tests/server/qv_http_server.py serve --root OUTDIR --port PORT
#
# The tree (paths are URL paths under OUTDIR):
#   /TKAS/AccessFile/Update5/Personal/KorvaneFree/QVConfig.dat      entry 0
#   /TKAS/AccessFile/Update5/Personal/KorvaneFree/Program/...       entry 1
#   /TKAS/AccessFile/Update5/Personal/KorvaneFree/VP/...            entry 2
#   /TKAS/AccessFile/Update5/Personal/KorvaneFree/News/QVNews.txt   entry 10
set -eu

usage() {
    echo "usage: $0 [--key KEYFILE | --unsigned] [--serial N] QVPUBLISH PRODUCTDIR OUTDIR [HOST [PORT]]" >&2
    exit 2
}
KEY=$(cd "$(dirname "$0")" && pwd)/sample-release-key.SAMPLE-ONLY.pem
SERIAL=${QV_RELEASE_SERIAL:-1}
while [ $# -gt 0 ]; do
    case $1 in
        --key) [ $# -ge 2 ] || usage; KEY=$2; shift 2 ;;
        --unsigned) KEY=; shift ;;
        --serial) [ $# -ge 2 ] || usage; SERIAL=$2; shift 2 ;;
        --*) usage ;;
        *) break ;;
    esac
done
if [ $# -lt 3 ] || [ $# -gt 5 ]; then
    usage
fi
QVPUBLISH=$1
PRODUCTDIR=$2
OUTDIR=$3
HOST=${4:-127.0.0.1}
PORT=${5:-80}
PRODUCT_FILES="QVUpdate.exe QVServiceNt.exe QVService.exe QVCtx.dll"
for f in $PRODUCT_FILES; do
    if [ ! -f "$PRODUCTDIR/$f" ]; then
        echo "$0: $PRODUCTDIR/$f is missing: build the sample product (server/product) first" >&2
        exit 2
    fi
done
case $PORT in
    ''|*[!0-9]*) echo "$0: PORT must be a number" >&2; exit 2 ;;
esac
case $SERIAL in
    ''|*[!0-9]*) echo "$0: the serial must be a decimal number" >&2; exit 2 ;;
esac

SAMPLE=$(cd "$(dirname "$0")" && pwd)/sample
ROOT=$OUTDIR/TKAS/AccessFile/Update5/Personal/KorvaneFree
# The sample's files carry one fixed date, so that their cabinets (which
# record it) come out the same on every run and checkout.
STAMP='2025-06-10 09:00:00'

WORK=$(mktemp -d "${TMPDIR:-/tmp}/qv-sample-XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

# Program channel: the sample product's programs, its icons and the two
# language files, which the channel delivers into the install folder.
mkdir "$WORK/program" "$WORK/vp"
cp "$SAMPLE"/program/* "$WORK/program/"
for f in $PRODUCT_FILES; do cp "$PRODUCTDIR/$f" "$WORK/program/"; done
"$QVPUBLISH" skin "$SAMPLE/skins/QVSkinKor.txt" "$WORK/program/QVSkinKor.dat"
"$QVPUBLISH" skin "$SAMPLE/skins/QVSkinEng.txt" "$WORK/program/QVSkinEng.dat"
cp "$SAMPLE"/vp/* "$WORK/vp/"
touch -d "$STAMP" "$WORK"/program/* "$WORK"/vp/*

# channel MANIFEST OUTDIR SIGNATURE-CHANNEL: one channel, signed unless --unsigned.
channel() {
    if [ -n "$KEY" ]; then
        "$QVPUBLISH" channel --sign "$KEY" --serial "$SERIAL" --channel "$3" "$1" "$2"
    else
        "$QVPUBLISH" channel "$1" "$2"
    fi
}
channel "$WORK/program/channel.json" "$ROOT/Program" program
channel "$WORK/vp/channel.json" "$ROOT/VP" database

# News and event links: the news server answers this file.
mkdir -p "$ROOT/News"
sed "s/@SERVER@/$HOST:$PORT/g" "$SAMPLE/QVNews.txt" > "$ROOT/News/QVNews.txt"

# The configuration, with the servers moved to HOST:PORT.
python3 - "$SAMPLE/QVConfig.json" "$WORK/QVConfig.json" "$HOST" "$PORT" <<'PY'
import json, sys
source, target, host, port = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
with open(source, encoding="utf-8") as f:
    config = json.load(f)
for entry in config.get("servers", []):
    if entry and entry.get("host"):
        entry["host"], entry["port"] = host, port
with open(target, "w", encoding="utf-8") as f:
    json.dump(config, f, ensure_ascii=False, indent=2)
PY
if [ -n "$KEY" ]; then
    "$QVPUBLISH" config --sign "$KEY" --serial "$SERIAL" "$WORK/QVConfig.json" "$ROOT/QVConfig.dat"
else
    "$QVPUBLISH" config "$WORK/QVConfig.json" "$ROOT/QVConfig.dat"
fi

if [ -n "$KEY" ]; then
    echo "sample release in $OUTDIR (servers at $HOST:$PORT), signed with $KEY, serial $SERIAL"
else
    echo "sample release in $OUTDIR (servers at $HOST:$PORT), unsigned"
fi
