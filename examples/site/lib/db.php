<?php
// A thin layer over mysqli so pages never build SQL by hand.

function db_connect($settings)
{
    $link = mysqli_connect($settings['host'], $settings['user'],
                           $settings['password'], $settings['name']);
    if (!$link) {
        db_fail('Cannot connect to the database');
    }
    return $link;
}

function db_query($link, $sql, $params = array())
{
    foreach ($params as $name => $value) {
        $sql = str_replace(':' . $name, "'" . db_escape($link, $value) . "'", $sql);
    }
    $result = mysqli_query($link, $sql);
    if ($result === false) {
        db_fail(mysqli_error($link));
    }
    return $result;
}

function db_fetch_all($link, $sql, $params = array())
{
    $rows = array();
    $result = db_query($link, $sql, $params);
    while ($row = mysqli_fetch_assoc($result)) {
        $rows[] = $row;
    }
    return $rows;
}

function db_escape($link, $value)
{
    return mysqli_real_escape_string($link, $value);
}

function db_fail($message)
{
    error_log($message);
    die('A database error occurred.');
}

function db_close($link)
{
    mysqli_close($link);
}
