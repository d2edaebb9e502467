#!/usr/bin/env bash
# The SARIF 2.1.0 schema the checker's CLI test validates its --sarif report
# against: from the npm package that ships it, fetched once by name into
# build/sarif-schema (its licence, MIT, beside it). Only the tests use it.
set -euo pipefail
source "$(dirname "$0")/common.sh"
out="$ROOT/build/sarif-schema"
[ -f "$out/sarif-2.1.0.json" ] && exit 0
command -v npm >/dev/null || need_packages npm
package="@microsoft/jest-sarif@1.0.0-beta.0"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && npm pack --silent "$package" >/dev/null && tar xzf ./*.tgz)
mkdir -p "$out"
cp "$tmp/package/lib/schemas/sarif-2.1.0-rtm.5.json" "$out/sarif-2.1.0.json"
printf '%s: the SARIF 2.1.0 schema (rtm.5) of %s, licence MIT\n' "$out/sarif-2.1.0.json" "$package" \
    >"$out/NOTICE"
