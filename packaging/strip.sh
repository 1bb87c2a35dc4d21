#!/bin/sh
# The package's strip: as Debian's own tools strip, without the compiler's .comment and
# .note sections, which nothing at run time reads.
exec strip --remove-section=.comment --remove-section=.note "$@"
