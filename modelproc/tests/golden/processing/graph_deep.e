#Hclass	deep
#Hversion	1

#DParam 	12
	#real	f`e
	#real	d`r
	#real	c`m`i
	#real	c`k`c
	#real	p1`x`m`i
	#real	p1`x`k`c
	#real	p1`y`m`i
	#real	p1`y`k`c
	#real	p2`x`m`i
	#real	p2`x`k`c
	#real	p2`y`m`i
	#real	p2`y`k`c

#DIncond	10
	#real	c`v`p2.e_indep_state	c`m`p.e_indep_state_ic
	#real	c`s`p2.f_indep_state	c`k`p.f_indep_state_ic
	#real	p1`x`v`p2.e_indep_state	p1`x`m`p.e_indep_state_ic
	#real	p1`x`s`p2.f_indep_state	p1`x`k`p.f_indep_state_ic
	#real	p1`y`v`p2.e_indep_state	p1`y`m`p.e_indep_state_ic
	#real	p1`y`s`p2.f_indep_state	p1`y`k`p.f_indep_state_ic
	#real	p2`x`v`p2.e_indep_state	p2`x`m`p.e_indep_state_ic
	#real	p2`x`s`p2.f_indep_state	p2`x`k`p.f_indep_state_ic
	#real	p2`y`v`p2.e_indep_state	p2`y`m`p.e_indep_state_ic
	#real	p2`y`s`p2.f_indep_state	p2`y`k`p.f_indep_state_ic

#DVariable	32
	#real	f`p.e	p1`x`v`p1.e
	#real	f`p.f	p1`x`v`p1.f
	#real	d`p.e	p2`y`s`p3.e
	#real	d`p.f	p2`y`s`p3.f
	#real	c`v`p1.e	p1`y`s`p3.e
	#real	c`v`p1.f	p1`y`s`p3.f
	#real	c`v`p2.f	c`m`p.f
	#real	c`v`p3.e	c`s`p1.e
	#real	c`v`p3.f	c`s`p1.f
	#real	c`s`p2.e	c`k`p.e
	#real	c`s`p3.e	p2`x`v`p1.e
	#real	c`s`p3.f	p2`x`v`p1.f
	#real	p1`x`v`p2.f	p1`x`m`p.f
	#real	p1`x`v`p3.e	p1`x`s`p1.e
	#real	p1`x`v`p3.f	p1`x`s`p1.f
	#real	p1`x`s`p2.e	p1`x`k`p.e
	#real	p1`x`s`p3.e	p1`y`v`p1.e
	#real	p1`x`s`p3.f	p1`y`v`p1.f
	#real	p1`y`v`p2.f	p1`y`m`p.f
	#real	p1`y`v`p3.e	p1`y`s`p1.e
	#real	p1`y`v`p3.f	p1`y`s`p1.f
	#real	p1`y`s`p2.e	p1`y`k`p.e
	#real	p2`x`v`p2.f	p2`x`m`p.f
	#real	p2`x`v`p3.e	p2`x`s`p1.e
	#real	p2`x`v`p3.f	p2`x`s`p1.f
	#real	p2`x`s`p2.e	p2`x`k`p.e
	#real	p2`x`s`p3.e	p2`y`v`p1.e
	#real	p2`x`s`p3.f	p2`y`v`p1.f
	#real	p2`y`v`p2.f	p2`y`m`p.f
	#real	p2`y`v`p3.e	p2`y`s`p1.e
	#real	p2`y`v`p3.f	p2`y`s`p1.f
	#real	p2`y`s`p2.e	p2`y`k`p.e

#Dstate_ind	10
	#real	c`v`p2.e_indep_state	c`m`p.e_indep_state
	#real	c`s`p2.f_indep_state	c`k`p.f_indep_state
	#real	p1`x`v`p2.e_indep_state	p1`x`m`p.e_indep_state
	#real	p1`x`s`p2.f_indep_state	p1`x`k`p.f_indep_state
	#real	p1`y`v`p2.e_indep_state	p1`y`m`p.e_indep_state
	#real	p1`y`s`p2.f_indep_state	p1`y`k`p.f_indep_state
	#real	p2`x`v`p2.e_indep_state	p2`x`m`p.e_indep_state
	#real	p2`x`s`p2.f_indep_state	p2`x`k`p.f_indep_state
	#real	p2`y`v`p2.e_indep_state	p2`y`m`p.e_indep_state
	#real	p2`y`s`p2.f_indep_state	p2`y`k`p.f_indep_state

#DRate_ind	10
	#real	c`v`p2.e	c`m`p.e
	#real	c`s`p2.f	c`k`p.f
	#real	p1`x`v`p2.e	p1`x`m`p.e
	#real	p1`x`s`p2.f	p1`x`k`p.f
	#real	p1`y`v`p2.e	p1`y`m`p.e
	#real	p1`y`s`p2.f	p1`y`k`p.f
	#real	p2`x`v`p2.e	p2`x`m`p.e
	#real	p2`x`s`p2.f	p2`x`k`p.f
	#real	p2`y`v`p2.e	p2`y`m`p.e
	#real	p2`y`s`p2.f	p2`y`k`p.f

#EInitial	1
    V0 = P0

#Edynamic	21
    V6 = s0 / P2
    V9 = s1 / P3
    V12 = s2 / P4
    V15 = s3 / P5
    V18 = s4 / P6
    V21 = s5 / P7
    V22 = s6 / P8
    V25 = s7 / P9
    V28 = s8 / P10
    V31 = s9 / P11
    R5 = V18 - V6
    V3 = V31 / P1
    R0 = V21 - V9
    R1 = V6 - V22
    R2 = V0 - V15
    R3 = V12 - V18
    R4 = V15 - V21
    R6 = V9 - V25
    R7 = V22 - V28
    R8 = V25 - V31
    R9 = V28 - V3

#Eoutputs	20
    V5 = V6
    V8 = V6
    V7 = V9
    V10 = V9
    V1 = V12
    V14 = V12
    V13 = V15
    V16 = V15
    V17 = V18
    V20 = V18
    V19 = V21
    V4 = V21
    V11 = V22
    V24 = V22
    V23 = V25
    V26 = V25
    V27 = V28
    V30 = V28
    V29 = V31
    V2 = V31
