#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The Vantor developers
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: command
short_description: Send lines to boards and return their replies
description:
  - Sends each line to every board, waiting for its answer, with C(vantor send), and returns
    the replies of each board.
  - A line may do anything to a board, so the task is always reported as changed, except when
    every line is C(VER) (in any case, blanks around it aside), which only reads.
  - In check mode the lines are sent only when every line is C(VER); otherwise nothing is sent
    and the task is reported as changed.
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
    support: partial
    details: Only lines that all are C(VER) are sent in check mode.
  diff_mode:
    support: none
  action_group:
    membership:
      - vantor.boards.vantor
  platform:
    platforms: posix
options:
  lines:
    description:
      - The lines to send, in order; each is sent once the board has answered the one before.
    type: list
    elements: str
    required: true
'''

EXAMPLES = r'''
- name: Ask the boards their version
  vantor.boards.command:
    lines:
      - VER
    boards:
      - 10.1.0.11-13
  register: ver

- name: Start the program
  vantor.boards.command:
    lines:
      - RUN
    boards:
      - 10.1.0.11-13
'''

RETURN = r'''
boards:
  description:
    - vantor's answer for each board, as C(vantor --json) gives it; C(output) holds the replies.
  returned: always
  type: list
  elements: dict
  sample:
    - host: "10.1.0.11:111"
      command: send
      result: done
      output: "VANTOR BASIC V2.3\r\n"
replies:
  description: The replies of each board that answered, by board.
  returned: always
  type: dict
  sample: {"10.1.0.11:111": "VANTOR BASIC V2.3\r\n"}
rc:
  description: The exit status of vantor.
  returned: when the task fails
  type: int
  sample: 3
cmd:
  description: The vantor command line.
  returned: when the lines were sent
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantor.boards.plugins.module_utils.vantor import (
    BOARDS_MODULE_KWARGS, Vantor, board_options, done)


def main():
    module = AnsibleModule(
        argument_spec=board_options(
            lines=dict(type='list', elements='str', required=True),
        ),
        **BOARDS_MODULE_KWARGS
    )
    lines = module.params['lines']
    if not lines:
        module.fail_json(msg='lines: nothing to send')
    reads_only = all(line.strip().upper() == 'VER' for line in lines)
    if module.check_mode and not reads_only:
        module.exit_json(changed=True, boards=[], replies={}, msg='not sent in check mode')

    vantor = Vantor(module)
    boards = vantor.run(['send'] + lines)
    result = dict(changed=not reads_only, boards=boards,
                  replies=dict((b['host'], b['output']) for b in boards if 'output' in b))
    vantor.finish(result, failed=[b for b in boards if not done(b)])


if __name__ == '__main__':
    main()
