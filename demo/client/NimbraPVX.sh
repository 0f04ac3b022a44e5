#!/bin/sh
# The demo client: records that it ran, from where and with what.
echo "$0 $*" >> "${TMPDIR:-/tmp}/client-ran.log"
