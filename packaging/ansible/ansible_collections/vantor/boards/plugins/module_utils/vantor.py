# -*- coding: utf-8 -*-
# Copyright (c) 2026 The Vantor developers
# SPDX-License-Identifier: MIT

"""Runs vantor --json for the modules of vantor.boards and reads its answers."""

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

import json
import os

# How vantor reaches the boards: every module takes these.
LINK_OPTIONS = dict(
    remote_port=dict(type='int'),
    gateway=dict(type='str'),
    rtu=dict(type='str'),
    baud=dict(type='int', choices=[1200, 2400, 4800, 9600, 19200, 115200]),
    timeout=dict(type='float'),
    retries=dict(type='int'),
    executable=dict(type='path'),
)

# Which boards: the modules that act on a list of boards.
BOARD_OPTIONS = dict(
    boards=dict(type='list', elements='str'),
    serial=dict(type='list', elements='path'),
    jobs=dict(type='int'),
)

# At most this many failed boards are spelled out in a task's message.
FAILURES_SHOWN = 10


def link_options(**extra):
    options = dict(LINK_OPTIONS)
    options.update(extra)
    return options


def board_options(**extra):
    options = link_options(**BOARD_OPTIONS)
    options.update(extra)
    return options


BOARDS_MODULE_KWARGS = dict(
    required_one_of=[('boards', 'serial')],
    mutually_exclusive=[('gateway', 'rtu')],
    supports_check_mode=True,
)


def _number(value):
    # 1.0 reads better as 1 on vantor's command line, 0.5 stays 0.5.
    return '%g' % value if isinstance(value, float) else str(value)


class Vantor(object):
    """One module's use of vantor: its command line and the boards' answers."""

    def __init__(self, module):
        self.module = module
        self.executable = module.params['executable'] or module.get_bin_path('vantor', required=True)
        self._hosts_file = None

    def _hosts(self):
        # A hosts file takes every form of target, serial ports and @LIST included,
        # and keeps long board lists off the command line.
        if self._hosts_file is None:
            for board in self.module.params['boards']:
                if not board or len(board.split()) != 1 or board.startswith('#'):
                    self.module.fail_json(msg='boards: %r is not a target' % board)
            self._hosts_file = os.path.join(self.module.tmpdir, 'boards')
            with open(self._hosts_file, 'w') as f:
                f.write('\n'.join(self.module.params['boards']) + '\n')
        return self._hosts_file

    def options(self):
        params = self.module.params
        args = []
        if params.get('boards'):
            args += ['--hosts', self._hosts()]
        for port in params.get('serial') or []:
            args += ['--serial', port]
        for name in ('remote_port', 'gateway', 'rtu', 'baud', 'timeout', 'retries', 'jobs'):
            if params.get(name) is not None:
                args += ['--' + name.replace('_', '-'), _number(params[name])]
        return args

    def run(self, command, ok_rcs=(0,)):
        """Runs one vantor command; returns the boards' answers, its status in self.rc.

        Fails the task when vantor ended with a status not in ok_rcs and gave no
        board anything to say: a usage error or a local file it could not use.
        """
        cmd = [self.executable, '--json'] + self.options() + list(command)
        rc, out, err = self.module.run_command(cmd)
        boards = []
        for line in out.splitlines():
            line = line.strip()
            if not line:
                continue
            try:
                boards.append(json.loads(line))
            except ValueError:
                self.module.fail_json(msg='vantor printed a line that is no JSON: %s' % line,
                                      rc=rc, cmd=cmd, stdout=out, stderr=err)
        if rc not in ok_rcs and not boards:
            self.module.fail_json(msg=err.strip() or 'vantor ended with status %d' % rc,
                                  rc=rc, cmd=cmd, stderr=err)
        self.rc, self.cmd, self.stderr = rc, cmd, err
        return boards

    def finish(self, result, failed=(), ok_rcs=(0,)):
        """Ends the task: failed when a board failed, or when vantor's status says
        something went wrong that no board's answer tells. result holds every
        board's answer under boards, either way."""
        result = dict(result, cmd=self.cmd)
        if failed:
            shown = ['%s: %s' % (b.get('host'), b.get('message') or b.get('result'))
                     for b in failed[:FAILURES_SHOWN]]
            more = len(failed) - len(shown)
            self.module.fail_json(msg='%d of %d boards failed: %s%s' % (
                len(failed), len(result['boards']), '; '.join(shown),
                '; and %d more' % more if more else ''), rc=self.rc, **result)
        if self.rc not in ok_rcs:
            self.module.fail_json(msg=self.stderr.strip() or 'vantor ended with status %d' % self.rc,
                                  rc=self.rc, stderr=self.stderr, **result)
        # Ansible takes a non-zero rc for a failure: diff and scan end 1 or 3 on success.
        self.module.exit_json(**result)


def hosts(boards):
    return [b['host'] for b in boards]


def done(board):
    return board.get('result') == 'done'


def changed(board):
    return bool(board.get('changed'))


def local_file(module, path):
    """The absolute path of a readable local file, or the task fails."""
    path = os.path.abspath(path)
    if not os.path.isfile(path) or not os.access(path, os.R_OK):
        module.fail_json(msg='%s: no such readable file' % path)
    return path
