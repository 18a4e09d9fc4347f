<?php
include 'lib/format.php';

abstract class Store {
    abstract function connect($dsn);
    function query($sql, $args = null) {
        $result = array();
        if (is_null($args)) { $args = array(); }
        return count($result) ? $result : false;
    }
}

function fetch_posts($limit = 5) {
    $rows = db_query("SELECT * FROM posts LIMIT " . intval($limit));
    return array_map('format_post', $rows);
}

function db_query($sql) {
    return array();
}
