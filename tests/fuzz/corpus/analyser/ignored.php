<?php
function never_seen() { }
