<?php
// Prints one prototype per line for every internal function of the PHP
// that runs it, sorted by name: name(parameters): return type.
// Run through tools/gen-builtin-list.sh, which writes resources/builtin.list.

function parameterText(ReflectionParameter $p): string
{
    $s = '';
    if ($p->hasType()) {
        $s .= $p->getType() . ' ';
    }
    if ($p->isPassedByReference()) {
        $s .= '&';
    }
    if ($p->isVariadic()) {
        $s .= '...';
    }
    $s .= '$' . $p->getName();
    if ($p->isOptional() && !$p->isVariadic() && $p->isDefaultValueAvailable()) {
        try {
            $value = $p->isDefaultValueConstant()
                ? $p->getDefaultValueConstantName()
                : var_export($p->getDefaultValue(), true);
            $s .= ' = ' . preg_replace('/\s+/', ' ', $value);
        } catch (ReflectionException $e) {
            // No default known to reflection: leave it out.
        }
    }
    return $s;
}

$names = get_defined_functions()['internal'];
sort($names, SORT_STRING);
foreach ($names as $name) {
    $f = new ReflectionFunction($name);
    $params = array_map('parameterText', $f->getParameters());
    $line = $name . '(' . implode(', ', $params) . ')';
    if ($f->hasReturnType()) {
        $line .= ': ' . $f->getReturnType();
    }
    echo $line, "\n";
}
