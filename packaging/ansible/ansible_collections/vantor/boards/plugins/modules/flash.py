#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The Vantor developers
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: flash
short_description: Copy a file to the flash disk of boards
description:
  - Makes every board's flash disk hold a copy of a local file, with C(vantor put --if-changed).
  - A board's copy is read first; the file is written only to the boards where it is missing
    or different.
  - In check mode nothing is written; each board's copy is read into a temporary folder
    (C(vantor get)) and compared byte for byte with the file. A board that refuses to read
    the file is reported as one that would change (file missing or unreadable).
  - With C(--diff), the old and new contents of each differing board, when both are text.
  - The flash disk is reached over plain UDP only, not over serial ports nor gateways.
  - The task fails when any board fails; every board's answer is returned either way.
author:
  - The Vantor developers
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - ansible.builtin.action_common_attributes.actiongroups
  - vantor.boards.vantor
  - vantor.boards.vantor.boards
attributes:
  check_mode:
    support: full
    details: Reads each board's copy and compares it with the file; writes nothing.
  diff_mode:
    support: full
    details: Old and new contents of each differing board; a summary line for binary files.
  action_group:
    membership:
      - vantor.boards.vantor
  platform:
    platforms: posix
options:
  src:
    description:
      - The local file, on the host that runs the task.
    type: path
    required: true
  name:
    description:
      - Its name on the flash disk.
      - The base name of I(src) when not set.
    type: str
  verify:
    description:
      - Read each written copy back and compare the bytes.
    type: bool
    default: false
'''

EXAMPLES = r'''
- name: Every board keeps a copy of its settings
  vantor.boards.flash:
    src: files/north.cfg
    name: site.cfg
    boards:
      - 10.1.0.11-13
    verify: true
'''

RETURN = r'''
boards:
  description:
    - vantor's answer for each board, as C(vantor --json) gives it.
    - C(changed) tells whether the board was written (in check mode, would be).
    - In check mode these are the answers to reading each board's copy; a board that would
      change has C(reason), C(file missing or unreadable) or C(contents differ).
  returned: always
  type: list
  elements: dict
  sample:
    - host: "10.1.0.11:111"
      command: put
      result: done
      changed: true
      bytes: 214
      message: "put: 214 bytes to site.cfg on 10.1.0.11:111, verified"
changed_boards:
  description: The boards written, or in check mode the boards that would be.
  returned: always
  type: list
  elements: str
  sample: ["10.1.0.12:111"]
rc:
  description: The exit status of vantor.
  returned: when the task fails
  type: int
  sample: 3
cmd:
  description: The vantor command line that ran last.
  returned: always
  type: list
  elements: str
'''

import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantor.boards.plugins.module_utils.vantor import (
    BOARDS_MODULE_KWARGS, Vantor, board_options, changed, done, hosts, local_file)


def board_copies(module, vantor, name):
    """Reads each board's copy of name. Returns (answers, {host: bytes or None}),
    None for a board that refused: no such file, or one it cannot read."""
    folder = tempfile.mkdtemp(dir=module.tmpdir)
    local = os.path.join(folder, 'copy.dat')
    boards = vantor.run(['get', name, local], ok_rcs=(0, 1))
    copies = {}
    for board in boards:
        if board.get('result') == 'refused':
            copies[board['host']] = None
        elif done(board):
            # With several boards, get puts each board's address before the extension.
            path = local
            if len(boards) > 1 or not os.path.exists(local):
                path = os.path.join(folder, 'copy-%s.dat' % board['host'].replace(':', '_').replace('@', '-'))
            try:
                with open(path, 'rb') as f:
                    copies[board['host']] = f.read()
            except (IOError, OSError) as e:
                module.fail_json(msg='the copy read from %s is not where it was expected: %s' % (board['host'], e),
                                 boards=boards)
    return boards, copies


def text(data):
    try:
        return data.decode('utf-8')
    except UnicodeDecodeError:
        return None


def contents_diff(host, name, src, old, new):
    before = '' if old is None else text(old)
    after = text(new)
    if before is None or after is None:
        return dict(prepared='%s: %s differs (binary)\n' % (host, name))
    return dict(before=before, after=after, before_header='%s %s' % (host, name), after_header=src)


def main():
    module = AnsibleModule(
        argument_spec=board_options(
            src=dict(type='path', required=True),
            name=dict(type='str'),
            verify=dict(type='bool', default=False),
        ),
        **BOARDS_MODULE_KWARGS
    )
    vantor = Vantor(module)
    src = local_file(module, module.params['src'])
    name = module.params['name'] or os.path.basename(src)
    result = dict(changed=False, boards=[], changed_boards=[])

    if module.check_mode or module._diff:
        with open(src, 'rb') as f:
            new = f.read()
        boards, copies = board_copies(module, vantor, name)
        differing = []
        for board in boards:
            if board['host'] not in copies:
                continue
            old = copies[board['host']]
            board['changed'] = old != new
            if old != new:
                board['reason'] = 'file missing or unreadable' if old is None else 'contents differ'
                differing.append(board)
        if module._diff:
            result['diff'] = [contents_diff(b['host'], name, src, copies[b['host']], new) for b in differing]
        if module.check_mode:
            result.update(changed=bool(differing), changed_boards=hosts(differing), boards=boards)
            vantor.finish(result, failed=[b for b in boards if b['host'] not in copies], ok_rcs=(0, 1))

    command = ['put', '--if-changed', src, name]
    if module.params['verify']:
        command.append('--verify')
    boards = vantor.run(command)
    written = [b for b in boards if changed(b)]
    result.update(changed=bool(written), changed_boards=hosts(written), boards=boards)
    vantor.finish(result, failed=[b for b in boards if not done(b)])


if __name__ == '__main__':
    main()
