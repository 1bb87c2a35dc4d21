#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) 2026 The Vantor developers
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type

DOCUMENTATION = r'''
module: scan
short_description: Find the boards that answer and their versions
description:
  - Sends C(VER) to every target with C(vantor scan) and returns those that answer,
    with the first line of their answer and the round trip time.
  - Only reads; never changed. No target answering is not a failure, the list is empty then.
  - C(vantor scan) waits 1 second for each target and asks once more unless I(timeout)
    and I(retries) say otherwise.
author:
  - The Vantor developers
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - vantor.boards.vantor
attributes:
  check_mode:
    support: full
    details: It only reads.
  diff_mode:
    support: none
  platform:
    platforms: posix
options:
  targets:
    description:
      - The targets to ask, addresses or host names, C(a.b.c.d-e) ranges, C(a.b.c.d/n) networks,
        each with C(:PORT) when wanted, or serial ports.
      - With I(gateway) or I(rtu), every device of every target (C(TARGET@LIST) for some only).
    type: list
    elements: str
    required: true
  all:
    description:
      - Also list the targets that gave no answer, in I(silent).
    type: bool
    default: false
'''

EXAMPLES = r'''
- name: What answers on the north site's network
  vantor.boards.scan:
    targets:
      - 10.1.0.0/24
    remote_port: 111
  register: found

- name: Their versions
  ansible.builtin.debug:
    msg: "{{ found.boards | items2dict(key_name='host', value_name='version') }}"
'''

RETURN = r'''
boards:
  description:
    - The targets that answered, in vantor's order.
    - C(result) is C(done) for an answer to C(VER); C(refused) or C(denied) for a board that
      answered with an error or a login prompt (its first line is in C(version) all the same).
    - C(link) and C(address) name the link and the device address of a device on a bus.
  returned: always
  type: list
  elements: dict
  sample:
    - host: "10.1.0.11:111"
      version: VANTOR BASIC V2.3
      ms: 1.2
      result: done
silent:
  description: The targets that gave no answer; filled only with I(all).
  returned: always
  type: list
  elements: str
rc:
  description: The exit status of vantor.
  returned: when the task fails
  type: int
  sample: 3
cmd:
  description: The vantor command line.
  returned: always
  type: list
  elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.vantor.boards.plugins.module_utils.vantor import Vantor, link_options


def first_line(text):
    for line in (text or '').splitlines():
        if line.strip():
            return line.strip()
    return ''


def main():
    module = AnsibleModule(
        argument_spec=link_options(
            targets=dict(type='list', elements='str', required=True),
            all=dict(type='bool', default=False),
        ),
        mutually_exclusive=[('gateway', 'rtu')],
        supports_check_mode=True,
    )
    vantor = Vantor(module)
    command = ['scan'] + module.params['targets']
    if module.params['all']:
        command.append('--all')
    answers = vantor.run(command, ok_rcs=(0, 3))
    boards = []
    for answer in answers:
        if 'output' not in answer:
            continue
        board = dict(host=answer['host'], version=first_line(answer['output']),
                     ms=answer.get('ms'), result=answer.get('result'))
        for key in ('link', 'address'):
            if key in answer:
                board[key] = answer[key]
        boards.append(board)
    silent = [a['host'] for a in answers if 'output' not in a]
    vantor.finish(dict(changed=False, boards=boards, silent=silent), ok_rcs=(0, 3))


if __name__ == '__main__':
    main()
