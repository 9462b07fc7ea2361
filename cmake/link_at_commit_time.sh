#!/bin/sh
# Runs a link command with SOURCE_DATE_EPOCH set to the time of the source
# commit, which cmake/source_commit.cmake wrote to TIME_FILE. GNU ld stamps a
# PE image with SOURCE_DATE_EPOCH in place of the time of the link, so the same
# commit links the same bytes at any hour. The commit's time overrides one in
# the environment: a rebuild of the commit must give the published bytes.
# Without a known commit (no git work tree) the environment's value stands, or
# ld takes the current time.
# Usage: link_at_commit_time.sh TIME_FILE COMMAND...
time_file="$1"
shift
if [ -s "$time_file" ]; then
    SOURCE_DATE_EPOCH="$(cat "$time_file")"
    export SOURCE_DATE_EPOCH
fi
exec "$@"
