<?php
include "f.php"; include('g.php'); require_once 'f.php';
function a($x) { b($x); function inner() { return a(1); } }
function b($y) { $z = "}{"; return strlen($y) . printf('%s', $z); }
function c( { /* unclosed
function d() { d(); function_e(); }
include "
