#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The Vantor developers
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: program
short_description: Make boards hold a BASIC program
description:
  - Makes every board hold exactly the program of a C(.bas) file, with C(vantor download --if-changed).
  - A board is first asked for its listing; a board that already holds the file is left alone,
    the others are erased, sent the file line by line and read back.
  - In check mode the listings are only read and compared with the file (C(vantor diff));
    the boards whose program differs are reported as changed, nothing is sent to them.
  - With C(--diff), the differences between each board's listing and the file are returned
    as unified diffs, one a board.
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
    details: Reads the boards' listings and reports the boards that would be written.
  diff_mode:
    support: full
    details: Each differing board's listing against the file, as a unified diff.
  action_group:
    membership:
      - vantor.boards.vantor
  platform:
    platforms: posix
options:
  src:
    description:
      - The C(.bas) file, on the host that runs the task.
    type: path
    required: true
  canary:
    description:
      - Write the first I(canary) boards alone, and the others only if all of those succeed.
    type: int
'''

EXAMPLES = r'''
- name: Every board of the site runs blink.bas
  vantor.boards.program:
    src: files/blink.bas
    boards:
      - 10.1.0.11-13
      - 10.1.0.20:5301
    canary: 1

- name: Four devices behind one gateway
  vantor.boards.program:
    src: files/pump.bas
    boards:
      - 10.1.0.30@1-4
    gateway: "1-4"
'''

RETURN = r'''
boards:
  description:
    - vantor's answer for each board, as C(vantor --json) gives it.
    - C(host) names the board, C(result) is C(done) on success, C(message) says what happened.
    - C(changed) tells whether the board may have been written; in check mode, C(same)
      tells whether its listing is the file.
  returned: always
  type: list
  elements: dict
  sample:
    - host: "10.1.0.11:111"
      command: download
      result: done
      changed: true
      lines: 9
      message: "download: 9 lines to 10.1.0.11:111, verified"
changed_boards:
  description:
    - The boards written, or in check mode the boards whose program differs from the file.
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

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantor.boards.plugins.module_utils.vantor import (
    BOARDS_MODULE_KWARGS, Vantor, board_options, changed, done, hosts, local_file)


def main():
    module = AnsibleModule(
        argument_spec=board_options(
            src=dict(type='path', required=True),
            canary=dict(type='int'),
        ),
        **BOARDS_MODULE_KWARGS
    )
    vantor = Vantor(module)
    src = local_file(module, module.params['src'])
    result = dict(changed=False, boards=[], changed_boards=[])

    if module.check_mode or module._diff:
        # diff ends 1 when a board differs: that is what it is asked.
        boards = vantor.run(['diff', src], ok_rcs=(0, 1))
        drifted = [b for b in boards if b.get('same') is False]
        if module._diff:
            result['diff'] = [dict(prepared=b.get('diff', '')) for b in drifted]
        if module.check_mode:
            result.update(changed=bool(drifted), changed_boards=hosts(drifted), boards=boards)
            vantor.finish(result, failed=[b for b in boards if 'same' not in b], ok_rcs=(0, 1))

    command = ['download', '--if-changed', src]
    if module.params['canary'] is not None:
        command += ['--canary', str(module.params['canary'])]
    boards = vantor.run(command)
    written = [b for b in boards if changed(b)]
    result.update(changed=bool(written), changed_boards=hosts(written), boards=boards)
    vantor.finish(result, failed=[b for b in boards if not done(b)])


if __name__ == '__main__':
    main()
