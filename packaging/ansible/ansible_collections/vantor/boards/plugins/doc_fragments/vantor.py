# -*- coding: utf-8 -*-
# Copyright (c) 2026 The Vantor developers
# SPDX-License-Identifier: MIT

from __future__ import (absolute_import, division, print_function)
__metaclass__ = type


class ModuleDocFragment(object):

    # How to reach the boards: shared by every module of the collection.
    DOCUMENTATION = r'''
options:
  remote_port:
    description:
      - UDP port of the controllers, for targets given without C(:PORT).
      - vantor's own default (111) when not set.
    type: int
  gateway:
    description:
      - Send every line as a gateway line to the Modbus devices in this list (C(1-8,12)),
        for targets given without C(@LIST).
      - Mutually exclusive with I(rtu).
    type: str
  rtu:
    description:
      - Send every line as a Modbus RTU frame to the devices in this list (serial ports only),
        for targets given without C(@LIST).
      - Mutually exclusive with I(gateway).
    type: str
  baud:
    description:
      - Speed of the serial ports.
    type: int
    choices: [1200, 2400, 4800, 9600, 19200, 115200]
  timeout:
    description:
      - Seconds to wait for each answer of a board.
    type: float
  retries:
    description:
      - How many more times a line without an answer is sent again.
    type: int
  executable:
    description:
      - Path of the C(vantor) program.
      - Looked up on C(PATH) of the host that runs the task when not set.
    type: path
requirements:
  - C(vantor) on the host that runs the task (with C(ansible_connection=local), the controller).
notes:
  - The module runs C(vantor --json) on the host that runs the task, which reaches the boards
    over UDP or its serial ports; nothing is installed on the boards.
'''

    # The board list of the modules that act on boards.
    BOARDS = r'''
options:
  boards:
    description:
      - The boards, as vantor takes targets, one target an item, each without blanks.
      - An address or host name, C(a.b.c.d-e) (last octet d to e) or C(a.b.c.d/n) (a network),
        each with C(:PORT) when wanted.
      - With I(gateway) or I(rtu), C(TARGET@LIST) names the devices of one link
        (C(10.0.0.5@1-4), C(/dev/ttyUSB0@3)); each device is a board named C(LINK@N).
      - An item that starts with C(/) is a serial port.
      - At least one of I(boards) and I(serial) is required.
    type: list
    elements: str
  serial:
    description:
      - Serial ports, each a link of its own.
    type: list
    elements: path
  jobs:
    description:
      - How many boards (on buses, how many buses) are served at once.
    type: int
'''
