<html><?php echo "a ?> b"; ?> text <?= $x ?>
<?php
/* block
   comment ?> */ $y = 'it\'s'; // line ?> html
function Foo($a) { RETURN "str\"ing" . $a; } # hash
"unterminated
?><?PHP if (true) { /* open
